"""kavrin-pack.exe, the Windows build of the builder, under Wine: it writes the
same executable as the host build, reads it back, and fails with the same exit
codes."""

import os
import subprocess
import unittest

import harness

PACK_EXE = os.path.join(harness.WINDOWS_BIN, "kavrin-pack.exe")

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
        os.makedirs(os.path.join(cls.work, "files"))
        with open(os.path.join(cls.work, "files", "data.bin"), "wb") as f:
            f.write(bytes(range(256)) * 70)
        with open(os.path.join(cls.work, "notes.txt"), "w") as f:
            f.write("carried\n")
        cls.project = os.path.join(cls.work, "svc.toml")
        with open(cls.project, "w", encoding="utf-8") as f:
            f.write(PROJECT)

    def pack_exe(self, *args):
        return self.prefix.run(PACK_EXE, list(args), cwd=self.work)

    def test_same_output_as_the_host_build(self):
        host = os.path.join(self.work, "host.exe")
        subprocess.run([harness.BUILDER, "build", self.project, "-o", host, "--stub", harness.STUB], check=True,
                       capture_output=True)
        result = self.pack_exe("build", "svc.toml", "-o", "windows.exe", "--stub", self.prefix.winpath(harness.STUB))
        self.assertEqual(result.rc, 0, result.stderr)
        self.assertIn("2 included file(s)", result.stdout)
        with open(host, "rb") as a, open(os.path.join(self.work, "windows.exe"), "rb") as b:
            self.assertTrue(a.read() == b.read(), "the two builds differ")

        result = self.pack_exe("inspect", "windows.exe")
        self.assertEqual(result.rc, 0, result.stderr)
        self.assertIn("name = 'kvrpackwin'  # key 101\n", result.stdout)
        self.assertIn("description = 'Built on Windows \u2713'  # key 20017\n", result.stdout)

    def test_exit_codes(self):
        with open(os.path.join(self.work, "bad.toml"), "w") as f:
            f.write("[java]\nclass-path = ['Q0lib']\n")
        result = self.pack_exe("build", "bad.toml", "-o", "bad.exe", "--stub", self.prefix.winpath(harness.STUB))
        self.assertEqual(result.rc, 1)
        self.assertIn("bad.toml:2: setting 'java.class-path': class path entry 'Q0lib' has the type letter 'Q'",
                      result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.work, "bad.exe")))
        result = self.pack_exe("build", "svc.toml", "-o", "no\\such\\dir\\x.exe",
                               "--stub", self.prefix.winpath(harness.STUB))
        self.assertEqual(result.rc, 2, result.stderr)
        self.assertEqual(self.pack_exe("--help").rc, 0)


if __name__ == "__main__":
    unittest.main()
