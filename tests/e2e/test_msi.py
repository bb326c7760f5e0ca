"""The installer package under Wine's msiexec: a silent install registers the service
under Program Files and starts it; the version 2 package replaces it in place; a
downgrade is refused; uninstall leaves neither the service nor the directory.

The service runs the real launcher with the stand-in Java runtime, kept outside the
installation directory (it writes its records beside itself). The package's own
tables are proven on the host (PackMsiTest); this checks what msiexec makes of them.
"""

import os
import subprocess
import unittest
from pathlib import Path

import harness
import homes
from harness import record_text

NAME = "HelloService"
INSTALL_DIR = "C:\\Program Files\\Kavrin Example\\Hello Service"
EXE = INSTALL_DIR + "\\hello-service.exe"
EVENT_SOURCE_KEY = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + NAME
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"

PROJECT = """
[service]
name = "HelloService"
display-name = "Hello Service {version}"
description = "Kavrin example, version {version}"

[java]
main-class = "com.example.hello.HelloService"
class-path = ['S1lib']

[jvm]
search-sequence = ['B{jre}']
min-version = "1.8"

[msi]
product-name = "Hello Service"
manufacturer = "Kavrin Example"
version = "{version}"
upgrade-code = "3F2A7C61-0D4E-4B8A-9C15-7E2D4F6A8B90"
files = ['lib/*.jar']
directories = ['jre']
"""


class MsiPackage(harness.PrefixTest):
    prefix_name = "msi"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        jre = homes.make_jre(cls.drive_c / "standin" / "jre", cls.fx, "1.8.0_202", jvm_subdir="server")
        cls.record = jre.bin.path / "server" / "jvm-record.txt"
        jre_win = cls.prefix.winpath(str(jre.path))
        # Version 1 carries jre/old.txt, version 2 does not: an upgrade removes it.
        cls.v1 = cls.package("1.0.0", jre_win, {"lib/hello-service.jar": "PK v1", "jre/release": "v1", "jre/old.txt": "old"})
        cls.v2 = cls.package("1.0.1", jre_win, {"lib/hello-service.jar": "PK v2", "jre/release": "v2"})
        # Never installed before the downgrade: Wine's msiexec treats the version 1
        # package, once replaced, as still installed (maintenance).
        cls.v0 = cls.package("0.9.0", jre_win, {"lib/hello-service.jar": "PK v0", "jre/release": "v0"})

    @classmethod
    def package(cls, version, jre_win, files):
        directory = os.path.join(cls.work, "v" + version)
        harness.write_files(directory, files)
        project = os.path.join(directory, "hello-service.toml")
        Path(project).write_text(PROJECT.format(version=version, jre=jre_win))
        output = os.path.join(directory, "hello-service.msi")
        r = subprocess.run([harness.BUILDER, "msi", project, "-o", output, "--stub", harness.STUB],
                           capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
        if r.returncode != 0:
            raise RuntimeError("kavrin-pack msi failed: %s%s" % (r.stdout, r.stderr))
        return output

    # ---- helpers

    def msiexec(self, *args):
        return self.prefix.run("msiexec", list(args) + ["/qn"], timeout=600)

    def installed(self, rel=""):
        return Path(self.prefix.linuxpath(INSTALL_DIR + ("\\" + rel if rel else "")))

    def main_calls(self):
        return record_text(self.record).count("main argc=")

    def products(self):
        """Display names of the products registered for uninstall."""
        r = self.prefix.run("reg", ["query", UNINSTALL_KEY, "/s", "/v", "DisplayName"])
        return [line.split("    ")[-1] for line in r.stdout.splitlines() if "DisplayName" in line]

    def assertRunningFromInstallDir(self, description):
        info = self.wait_for_state(NAME, harness.RUNNING, timeout=120)
        # Quoted although Wine's msiexec registers the table's path unquoted: the
        # package's -configure step mended it before the service started.
        self.assertEqual(info["binary_path"], '"%s"' % EXE)
        self.assertEqual(info["description"], description)
        self.assertEqual(info["display_name"], description.replace("Kavrin example, version", "Hello Service"))
        self.assertEqual(self.prefix.reg_query(EVENT_SOURCE_KEY, "EventMessageFile"), EXE)
        self.assertEqual(info["start_type"], "2")
        self.verb(EXE, "-status")  # 0: running, registered with this path
        self.assertEqual(self.products().count("Hello Service"), 1)

    # ---- the scenario, in order: each step starts from the previous one's state

    def test_install_upgrade_downgrade_uninstall(self):
        r = self.msiexec("/i", self.prefix.winpath(self.v1))
        self.assertEqual(r.rc, 0, r)
        self.assertRunningFromInstallDir("Kavrin example, version 1.0.0")
        self.assertEqual(self.installed("lib\\hello-service.jar").read_text(), "PK v1")
        self.assertTrue(self.installed("jre\\old.txt").exists())
        self.assertEqual(self.main_calls(), 1)

        r = self.msiexec("/i", self.prefix.winpath(self.v2))
        self.assertEqual(r.rc, 0, r)
        self.assertRunningFromInstallDir("Kavrin example, version 1.0.1")
        self.assertEqual(self.installed("lib\\hello-service.jar").read_text(), "PK v2")
        self.assertEqual(self.installed("jre\\release").read_text(), "v2")
        self.assertFalse(self.installed("jre\\old.txt").exists())
        self.assertEqual(self.main_calls(), 2)  # stopped with the old files, started with the new

        self.uninstall_and_check_nothing_is_left()

        # An older version over a newer one is refused and changes nothing. From a fresh
        # install: after an upgrade Wine's msiexec loses the new product's upgrade code
        # registration (removing the old product removes the code's whole key), so it
        # could not tell; Windows Installer keeps it.
        self.assertEqual(self.msiexec("/i", self.prefix.winpath(self.v2)).rc, 0)
        self.assertRunningFromInstallDir("Kavrin example, version 1.0.1")
        r = self.msiexec("/i", self.prefix.winpath(self.v0))
        self.assertNotEqual(r.rc, 0, r)
        self.assertRunningFromInstallDir("Kavrin example, version 1.0.1")
        self.assertEqual(self.installed("lib\\hello-service.jar").read_text(), "PK v2")
        self.uninstall_and_check_nothing_is_left()

    def uninstall_and_check_nothing_is_left(self):
        r = self.msiexec("/x", self.prefix.winpath(self.v2))
        self.assertEqual(r.rc, 0, r)
        self.wait_for_state(NAME, None)
        self.assertFalse(self.installed().exists(), list(self.installed().rglob("*")) if self.installed().exists() else "")
        self.assertFalse(self.installed().parent.exists())  # the manufacturer's folder too
        self.assertEqual(self.products().count("Hello Service"), 0)
        self.assertIsNone(self.prefix.reg_query(EVENT_SOURCE_KEY))

if __name__ == "__main__":
    unittest.main()
