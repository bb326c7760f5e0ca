"""The JVM launch of a packed service under Wine, as the stand-in jvm.dll records it:
the option list (launcher properties, key 123, "-J" arguments, the .vmoptions
lines, and last the class path) byte for byte, the main arguments as UTF-16, and
the two ways the emulated Shutdown.exit ends the process."""
import os
import shutil
import unittest

import harness
import homes
from harness import wait_for

SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services\\"
EMPTY_ZIP = b"PK\x05\x06" + b"\0" * 18


class LaunchOptionsTest(harness.PrefixTest):
    prefix_name = "launch"
    system_env = {"KAVRIN_LOG": "yes"}  # the launcher's log, for a failure's message

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        if not os.environ.get("KAVRIN_KEEP_PREFIX"):
            shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.service = "kvr" + self._testMethodName[5:20].replace("_", "")
        self.root = self.drive_c / self.service
        jre = homes.make_jre(self.root / "jre", self.fx, "1.8.0_202", jvm_subdir="server")
        self.jre = jre
        self.record = jre.bin.path / "server" / "jvm-record.txt"
        self.control = jre.bin.path / "server" / "jvm-control.txt"
        self.app = self.root / "app"
        (self.app / "lib").mkdir(parents=True)
        (self.app / "lib" / "app.jar").write_bytes(EMPTY_ZIP)
        (self.app / "lib" / "z.zip").write_bytes(EMPTY_ZIP)
        (self.app / "svc.vmoptions").write_bytes(
            b"# a comment\r\n   -Dfrom.vmoptions=v 1  \r\n\r\n-classpath/a extra.jar\r\n")

    def read_record(self):
        return self.record.read_bytes().decode("utf-8") if self.record.exists() else ""

    def install(self, arguments):
        """Packs and installs the service; its command line gets the arguments."""
        toml = "\n".join([
            "[project]",
            "defaults = true",
            "[raw]",
            f'"101" = "{self.service}"',
            '"121" = "S0lib;A0missing.jar"',
            '"122" = "org.example.Main"',
            "\"123\" = ' -Xrs \"-Dkey123=a b\"'",
            '"124" = "fixed"',
            '"125" = 1',
            '"126" = "1.5"',
            f"\"128\" = 'B{self.prefix.winpath(str(self.jre.path))}'",
            "[files]",
            "runtime = true",  # the start classes, extracted at start
            "",
        ])
        self.exe = harness.pack(str(self.app), toml, name="svc.exe")
        r = self.prefix.run(self.exe, ["-install"])
        self.assertEqual(r.rc, 0, repr(r))
        self.addCleanup(self.prefix.run, self.exe, ["-uninstall"])
        key = SERVICES_KEY + self.service
        image = self.prefix.reg_query(key, "ImagePath")
        self.assertIsNotNone(image)
        self.assertTrue(self.prefix.reg_add(key, "ImagePath", image + " " + arguments, type="REG_EXPAND_SZ"))
        self.prefix.restart_server()  # Wine's service manager reads the registry when it starts

    def start(self):
        self.prefix.run("net", ["start", self.service])

    def test_packed_service_passes_options_in_order_and_arguments_as_utf16(self):
        self.install('plain -J-Dfrom.j=1 "two words" -J-Xint \u00e9t\u00e9\u4e2d')
        self.start()
        self.assertTrue(wait_for(lambda: "\narg " + self.service + "\n" in self.read_record()), self.read_record())
        started = self.read_record()
        self.prefix.run(self.exe, ["-stop"])
        # Stopping calls Shutdown.exit, which the stand-in ends through the C runtime's exit.
        self.assertTrue(wait_for(lambda: self.read_record().endswith("exit 0 via Shutdown\n")), self.read_record())
        self.assertEqual(self.prefix.wait_for_state(self.service, harness.STOPPED), harness.STOPPED)

        lines = started.split("\n")
        options = [line[len("option "):] for line in lines if line.startswith("option ")]
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

        main = lines.index(next(line for line in lines if line.startswith("main argc=")))
        args = [line[len("arg "):] for line in lines[main + 1:] if line.startswith("arg ")]
        self.assertEqual(lines[main], "main argc=%d" % len(args))
        self.assertEqual(args, ["false", "org.example.Main", "", "", "true",
                                "plain", "fixed", "two words", "\u00e9t\u00e9\u4e2d", self.service])
        self.assertIn("FindClass com/kavrin/runtime/WinLauncher", lines)

    def test_exit_straight_through_exit_process(self):
        self.control.write_text("exit-process\n")
        self.install("plain")
        self.start()
        self.assertTrue(wait_for(lambda: "\narg " + self.service + "\n" in self.read_record()), self.read_record())
        self.prefix.run(self.exe, ["-stop"])
        self.assertTrue(wait_for(lambda: self.read_record().endswith("exit 0 via Shutdown\n")), self.read_record())
        # Nothing ran after the exit call: DestroyJavaVM is never reached, and our atexit
        # list never runs; the process-end hook still reports the service stopped.
        self.assertNotIn("DestroyJavaVM", self.read_record())
        self.assertEqual(self.prefix.wait_for_state(self.service, harness.STOPPED), harness.STOPPED)
        self.assertEqual(self.prefix.query_service(self.service)["win32_exit_code"], "0")

    def test_main_throwing_stops_the_service_with_exit_code_1(self):
        self.control.write_text("main-throws\n")
        self.install("plain")
        self.start()
        self.assertEqual(self.prefix.wait_for_state(self.service, harness.STOPPED), harness.STOPPED)
        info = self.prefix.query_service(self.service)
        self.assertEqual(info["win32_exit_code"], "1", info)
        record = self.read_record().split("\n")
        self.assertIn("ExceptionDescribe java/lang/IllegalStateException", record)
        self.assertNotIn("exit 0 via Shutdown", record)


if __name__ == "__main__":
    unittest.main()
