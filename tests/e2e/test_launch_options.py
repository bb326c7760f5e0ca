"""The JVM option list and main arguments of a packed service under Wine, as the
stand-in jvm.dll records them: launcher properties, key 123, "-J" arguments, the
.vmoptions lines, and last the class path, byte for byte."""
import os
import re
import shutil
import tempfile
import time
import unittest
from pathlib import Path

import harness
import homes

SERVICE = "kvrlaunch"
SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\" + SERVICE


def wait_for(predicate, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.5)
    return predicate()


class LaunchOptionsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="kvr-e2e-launch-")
        cls.prefix = harness.WinePrefix.fresh(os.path.join(cls.work, "prefix"))
        cls.fx = homes.Fixtures.from_dir(harness.FIXTURES)
        cls.drive_c = Path(cls.prefix.path) / "drive_c"

    @classmethod
    def tearDownClass(cls):
        cls.prefix.close()
        if not os.environ.get("KAVRIN_KEEP_PREFIX"):
            shutil.rmtree(cls.work, ignore_errors=True)

    def read_record(self):
        return self.record.read_bytes().decode("utf-8") if self.record.exists() else ""

    def test_packed_service_passes_options_in_order_and_arguments_as_utf16(self):
        root = self.drive_c / "launch"
        jre = homes.make_jre(root / "jre", self.fx, "1.8.0_202", jvm_subdir="server")
        self.record = jre.bin.path / "server" / "jvm-record.txt"
        app = root / "app"
        (app / "lib").mkdir(parents=True)
        (app / "lib" / "app.jar").write_bytes(b"PK\x05\x06" + b"\0" * 18)
        (app / "lib" / "z.zip").write_bytes(b"PK\x05\x06" + b"\0" * 18)
        (app / "svc.vmoptions").write_bytes(b"# a comment\r\n   -Dfrom.vmoptions=v 1  \r\n\r\n-classpath/a extra.jar\r\n")
        toml = "\n".join([
            "[project]",
            "defaults = true",
            "[raw]",
            f'"101" = "{SERVICE}"',
            '"121" = "S0lib;A0missing.jar"',
            '"122" = "org.example.Main"',
            "\"123\" = ' -Xrs \"-Dkey123=a b\"'",
            '"124" = "fixed"',
            '"125" = 1',
            '"126" = "1.5"',
            f"\"128\" = 'B{self.prefix.winpath(str(jre.path))}'",
            "",
        ])
        exe = harness.pack(str(app), toml, name="svc.exe")

        self.prefix.set_system_env("KAVRIN_LOG", "yes")  # the launcher's log, for a failure's message
        r = self.prefix.run(exe, ["-install"])
        self.assertEqual(r.rc, 0, repr(r))
        # The launcher arguments: the command line after the program, then the start
        # parameters (the service name).
        image = self.prefix.reg_query(SERVICE_KEY, "ImagePath")
        self.assertIsNotNone(image)
        self.assertTrue(self.prefix.reg_add(SERVICE_KEY, "ImagePath",
                                            image + ' plain -J-Dfrom.j=1 "two words" -J-Xint \u00e9t\u00e9\u4e2d',
                                            type="REG_EXPAND_SZ"))
        self.prefix.restart_server()  # Wine's service manager reads the registry when it starts
        try:
            r = self.prefix.run("net", ["start", SERVICE])
            self.assertTrue(wait_for(lambda: "\narg " + SERVICE + "\n" in self.read_record()), self.read_record())
            started = self.read_record()
            r = self.prefix.run(exe, ["-stop"])
            self.assertTrue(wait_for(lambda: "exit 0 via Shutdown" in self.read_record()), self.read_record())
        finally:
            self.prefix.run(exe, ["-stop"])
            self.prefix.run(exe, ["-uninstall"])

        lines = started.split("\n")
        options = [line[len("option "):] for line in lines if line.startswith("option ")]
        self.assertIn("create version=0x10002 nOptions=%d ignoreUnrecognized=1" % len(options), lines)

        # The values only the run decides: the executable's path as the service manager
        # started it, the extraction directory and the position after the included files.
        module = options[1][len("-Dkavrin.moduleName="):]
        self.assertEqual(module.lower(), self.prefix.winpath(exe).lower())
        exe_dir = module[:module.rindex("\\") + 1]
        temp_dir = options[2][len("-Dkavrin.tempDir="):]
        self.assertRegex(temp_dir, r"^[A-Za-z]:\\.+\\kvr[^\\]*$")
        position = options[3][len("-Dkavrin.unextractedPosition="):]
        self.assertEqual(int(position), os.path.getsize(exe))

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
            "-Djava.class.path=" + temp_dir + "\\kavrin-runtime.jar;" + exe_dir + "lib\\app.jar;" + exe_dir
            + "lib\\z.zip;" + exe_dir + "missing.jar;extra.jar",
        ])

        main = lines.index(next(line for line in lines if line.startswith("main argc=")))
        args = [line[len("arg "):] for line in lines[main + 1:] if line.startswith("arg ")]
        self.assertEqual(lines[main], "main argc=%d" % len(args))
        self.assertEqual(args, ["false", "org.example.Main", "", "", "true",
                                "plain", "fixed", "two words", "\u00e9t\u00e9\u4e2d", SERVICE])
        self.assertIn("FindClass com/kavrin/runtime/WinLauncher", lines)


if __name__ == "__main__":
    unittest.main()
