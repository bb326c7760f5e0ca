"""kavrin-pack.exe, the Windows build of the builder, under Wine: it writes the
same executable as the host build, reads it back, and fails with the same exit
codes; and a new user's first service (init, build, jars in lib\\, a runtime in
jre\\) starts."""

import os
import shutil
import subprocess
import unittest

import harness
import homes
from harness import record_text

PACK_EXE = os.path.join(harness.WINDOWS_BIN, "kavrin-pack.exe")
EXAMPLE_JAR = os.path.join(harness.HOST_BIN, "..", "examples", "hello-service.jar")

PROJECT = """
[service]
name = "kvrpackwin"
description = "Built on Windows ✓"
[java]
main-class = "com.example.Main"
class-path = ['S1lib', 'A0extra\\x.jar']
[files]
runtime = false
include = ["files/data.bin", "notes.txt"]
"""


class WindowsBuilderTest(harness.PrefixTest):
    prefix_name = "packwin"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        harness.write_files(cls.work, {"files/data.bin": bytes(range(256)) * 70, "notes.txt": "carried\n",
                                       "svc.toml": PROJECT, "bad.toml": "[java]\nclass-path = ['Q0lib']\n"})
        cls.project = os.path.join(cls.work, "svc.toml")

    def pack_exe(self, *args):
        return self.prefix.run(PACK_EXE, list(args), cwd=self.work)

    def test_same_output_as_the_host_build(self):
        host = os.path.join(self.work, "host.exe")
        subprocess.run([harness.BUILDER, "build", self.project, "-o", host, "--stub", harness.STUB], check=True,
                       capture_output=True)
        result = self.pack_exe("build", "svc.toml", "-o", "windows.exe", "--stub", self.prefix.winpath(harness.STUB))
        self.assertEqual(result.rc, 0, result.stderr)
        with open(host, "rb") as a, open(os.path.join(self.work, "windows.exe"), "rb") as b:
            self.assertTrue(a.read() == b.read(), "the two builds differ")

        result = self.pack_exe("inspect", "windows.exe")
        self.assertEqual(result.rc, 0, result.stderr)
        # Read back as written, the text outside the ANSI code page too (the format: PackCliTest).
        self.assertIn("description = 'Built on Windows \u2713'  # key 20017\n", result.stdout)

    def test_exit_codes(self):
        result = self.pack_exe("build", "bad.toml", "-o", "bad.exe", "--stub", self.prefix.winpath(harness.STUB))
        self.assertEqual(result.rc, 1, result)  # the message: PackProjectTest
        self.assertFalse(os.path.exists(os.path.join(self.work, "bad.exe")))
        result = self.pack_exe("build", "svc.toml", "-o", "no\\such\\dir\\x.exe",
                               "--stub", self.prefix.winpath(harness.STUB))
        self.assertEqual(result.rc, 2, result.stderr)
        self.assertEqual(self.pack_exe("--help").rc, 0)

    def test_init_then_build_finds_lib_and_jre_beside_the_executable(self):
        # As the guide says: kavrin-pack init, kavrin-pack build, the jar in lib\ and
        # a runtime in jre\ beside the executable; nothing else configured.
        name = "kvrnewuser"
        root = self.drive_c / "NewUser"
        root.mkdir()
        result = self.pack_exe("init", "--name", name, "--main-class", "com.example.hello.HelloService",
                               "-o", self.prefix.winpath(str(root / "svc.toml")))
        self.assertEqual(result.rc, 0, result)
        result = self.prefix.run(PACK_EXE, ["build", "svc.toml", "-o", "svc.exe"], cwd=str(root))
        self.assertEqual((result.rc, result.stderr), (0, ""), result)
        (root / "lib").mkdir()
        shutil.copyfile(EXAMPLE_JAR, root / "lib" / "hello-service.jar")
        jre = homes.make_jre(root / "jre", self.fx, "1.8.0_202", jvm_subdir="server")
        record = jre.bin.path / "server" / "jvm-record.txt"
        exe = str(root / "svc.exe")

        self.verb(exe, "-install")
        self.addCleanup(self.prefix.run, exe, ["-uninstall"], timeout=120)
        self.verb(exe, "-start")
        harness.wait_for(lambda: "main argc=" in record_text(record))
        text = record_text(record)
        self.assertIn("main argc=", text, "the runtime in jre\\ was not used")
        class_path = next((line for line in text.split("\n") if line.startswith("option -Djava.class.path=")), "")
        self.assertIn("c:\\newuser\\lib\\hello-service.jar", class_path.lower())
        self.wait_for_state(name, harness.RUNNING)
        self.verb(exe, "-stop")
        self.wait_for_state(name, harness.STOPPED)


if __name__ == "__main__":
    unittest.main()
