"""The JVM launch of a packed service under Wine, as the stand-in jvm.dll records it:
the option list (launcher properties, key 123, "-J" arguments, the .vmoptions
lines, and last the class path) byte for byte, the main arguments as UTF-16, and
the two ways the emulated Shutdown.exit ends the process."""
import os
import unittest

import harness
from harness import SERVICES_KEY, main_args, record_text, vm_options, wait_for

EMPTY_ZIP = b"PK\x05\x06" + b"\0" * 18
KEYS = "\n".join([
    '"121" = "S0lib;A0missing.jar"',
    "\"123\" = ' -Xrs \"-Dkey123=a b\"'",
    '"124" = "fixed"',
    '"125" = 1',
    '"126" = "1.5"',
])


class LaunchOptionsTest(harness.ServiceTest):
    prefix_name = "launch"
    system_env = {"KAVRIN_LOG": "yes"}  # the launcher's log, for a failure's message

    def install(self, arguments, control=""):
        """Packs and installs the service, with jars and a .vmoptions file beside it; its
        command line gets the arguments."""
        self.service = "kvr" + self._testMethodName[5:20].replace("_", "")
        self.exe, _, self.record = self.make_service(self.service, control=control, extra=KEYS)
        app = self.drive_c / self.service / "app"
        (app / "lib").mkdir()
        (app / "lib" / "app.jar").write_bytes(EMPTY_ZIP)
        (app / "lib" / "z.zip").write_bytes(EMPTY_ZIP)
        (app / "svc.vmoptions").write_bytes(
            b"# a comment\r\n   -Dfrom.vmoptions=v 1  \r\n\r\n-classpath/a extra.jar\r\n")
        self.verb(self.exe, "-install")
        key = SERVICES_KEY + self.service
        image = self.prefix.reg_query(key, "ImagePath")
        self.assertIsNotNone(image)
        self.prefix.reg_add(key, "ImagePath", image + " " + arguments, type="REG_EXPAND_SZ")
        self.prefix.restart_server()  # Wine's service manager reads the registry when it starts
        self.svctool("start", self.service)  # unless that start (auto-start) already did

    def wait_for_record(self, done):
        self.assertTrue(wait_for(lambda: done(record_text(self.record))), record_text(self.record))

    def run_and_stop(self):
        """Waits for main's last argument, stops the service; the record until then."""
        self.wait_for_record(lambda text: "\narg " + self.service + "\n" in text)
        started = record_text(self.record)
        self.verb(self.exe, "-stop")
        # Stopping calls Shutdown.exit, which the stand-in ends through the C runtime's exit.
        self.wait_for_record(lambda text: text.endswith("exit 0 via Shutdown\n"))
        self.assertEqual(self.wait_for_state(self.service, harness.STOPPED)["win32_exit_code"], "0")
        return started

    def test_packed_service_passes_options_in_order_and_arguments_as_utf16(self):
        self.install('plain -J-Dfrom.j=1 "two words" -J-Xint \u00e9t\u00e9\u4e2d')
        started = self.run_and_stop()
        lines = started.split("\n")
        options = vm_options(started)
        self.assertIn("create version=0x10002 nOptions=%d ignoreUnrecognized=1" % len(options), lines)

        # The values only the run decides: the executable's path as the service manager
        # started it, the extraction directory and the position after the included files.
        module = options[1][len("-Dkavrin.moduleName="):]
        self.assertEqual(module.lower(), self.prefix.winpath(self.exe).lower())
        exe_dir = module[:module.rindex("\\") + 1]
        temp_dir = options[2][len("-Dkavrin.tempDir="):]
        self.assertRegex(temp_dir, r"^[A-Za-z]:\\.+\\kvr[^\\]*$")
        position = options[3][len("-Dkavrin.unextractedPosition="):]
        self.assertEqual(int(position), os.path.getsize(self.exe))

        self.assertEqual(options, [
            "-Dkavrin.isService=true",
            "-Dkavrin.moduleName=" + module,
            "-Dkavrin.tempDir=" + temp_dir,
            "-Dkavrin.unextractedPosition=" + position,
            "-Dkavrin.consoleCodepage=cp0",  # a service has no console
            "-Xrs",
            "-Dkey123=a b",
            "-Dfrom.j=1",
            "-Xint",
            "-Dfrom.vmoptions=v 1",
            # The carried kavrin-runtime.jar, the lib scan (jars, then zips), the A entry,
            # then the appended class path of the .vmoptions file.
            "-Djava.class.path=" + temp_dir + "\\kavrin-runtime.jar;" + exe_dir + "lib\\app.jar;" + exe_dir
            + "lib\\z.zip;" + exe_dir + "missing.jar;extra.jar",
            "exit",  # the JVM's exit hook (its address rides in extraInfo)
        ])

        args = main_args(started)
        self.assertIn("main argc=%d" % len(args), lines)
        self.assertEqual(args, ["false", "org.example.Main", "", "", "true",
                                "plain", "fixed", "two words", "\u00e9t\u00e9\u4e2d", self.service])
        self.assertIn("FindClass com/kavrin/runtime/WinLauncher", lines)

    def test_exit_straight_through_exit_process(self):
        self.install("plain", control="exit-process\n")
        self.run_and_stop()
        # Nothing ran after the exit call: DestroyJavaVM is never reached, and our atexit
        # list never runs; the process-end hook still reports the service stopped.
        self.assertNotIn("DestroyJavaVM", record_text(self.record))

    def test_main_throwing_stops_the_service_with_exit_code_1(self):
        self.install("plain", control="main-throws\n")
        info = self.wait_for_state(self.service, harness.STOPPED)
        self.assertEqual(info["win32_exit_code"], "1", info)
        record = record_text(self.record).split("\n")
        self.assertIn("ExceptionDescribe java/lang/IllegalStateException", record)
        self.assertNotIn("exit 0 via Shutdown", record)


if __name__ == "__main__":
    unittest.main()
