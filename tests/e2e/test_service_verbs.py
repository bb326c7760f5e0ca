"""The service control verbs against Wine's real service manager.

The service manager's own view is read through the service API (the tests'
kavrin-testsvc.exe), never from sc.exe (Wine's `sc qc` prints nothing). Running
services come from kavrin-testsvc.exe: the launcher's own service routine needs a
Java runtime, and these scenarios are about the verbs. The verbs' messages are the
host tests' (ServiceVerbsTest); here the exit codes and what the service manager holds.
"""

import os
import shutil
import subprocess
import time
import unittest

import harness
from harness import RUNNING, STOP_PENDING, STOPPED, TESTSVC

PATHPROBE = os.path.join(harness.WINDOWS_BIN, "kavrin-pathprobe.exe")


def project(name, raw="", raw_wide=""):
    # The verbs load no Java: the start classes need not be carried.
    text = '[project]\ndefaults = true\n[files]\nruntime = false\n[raw]\n"101" = "%s"\n%s\n' % (name, raw)
    if raw_wide:
        text += "[raw-wide]\n%s\n" % raw_wide
    return text


class ServiceVerbs(harness.PrefixTest):
    prefix_name = "verbs"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # A directory with a blank: the registered path must be quoted.
        cls.appdir = os.path.join(cls.work, "App Dir")
        cls.exe = harness.pack(cls.appdir, project("kvsvc", raw='"149" = "Tcpip,,Afd"',
                                                   raw_wide='"20017" = "Kavrin test service"'))

    # ---- helpers

    def verb(self, *args, exe=None, rc=0):
        return super().verb(exe or self.exe, *args, rc=rc)

    def own_command(self, exe=None):
        return '"%s"' % self.prefix.winpath(exe or self.exe)

    def start_test_service(self, name, mode="normal", binary=None):
        """Registers and starts a plain test service; waits until it runs."""
        binary = binary or '"%s" service %s' % (self.prefix.winpath(TESTSVC), mode)
        self.assertEqual(self.svctool("create", name, "3", binary).rc, 0)
        self.assertEqual(self.svctool("start", name).rc, 0)
        self.wait_for_state(name, RUNNING)

    # ---- install

    def test_install_registers_quoted_path_type_start_type_and_description(self):
        self.verb("-install")
        info = self.query("kvsvc")
        self.assertEqual(info["start_type"], "2")          # launcher type 4: auto-start
        self.assertEqual(info["service_type"], str(0x110))  # own process + interactive
        self.assertEqual(info["binary_path"], self.own_command())
        self.assertEqual(info["error_control"], "1")
        self.assertEqual(info["description"], "Kavrin test service")
        # Wine's CreateServiceA stores DependOnService mangled (it writes the narrow list
        # into a wide value), so only its presence is checked here; the exact list
        # Tcpip, Afd handed to CreateServiceA is proven over the fake service manager
        # (DependencyList and InstallVerb unit tests).
        self.assertIn("DependOnService", self.prefix.reg_query(harness.SERVICES_KEY + "kvsvc"))

        self.verb("-install-demand")
        self.assertEqual(self.query("kvsvc")["start_type"], "3")

        gui = harness.pack(os.path.join(self.work, "gui"), project("kvgui", raw='"107" = "1"'))
        self.verb("-install", exe=gui)
        self.assertEqual(self.query("kvgui")["start_type"], "3")  # type 1: demand
        self.verb("-install-auto", exe=gui)
        info = self.query("kvgui")
        self.assertEqual(info["start_type"], "2")
        self.assertEqual(info["description"], "")  # key 20017 empty: none set
        self.assertEqual(info["dependencies"], "")
        self.verb("-uninstall", exe=gui)
        self.assertIsNone(self.query("kvgui"))

    def test_install_refuses_to_replace_another_program(self):
        self.start_test_service("kvforeign")
        before = self.query("kvforeign")
        self.verb("-install", "kvforeign", rc=1)
        self.assertEqual(self.query("kvforeign"), before)  # still registered, unchanged, running
        self.assertEqual(self.svctool("control", "kvforeign", "1").rc, 0)

    def test_install_over_a_running_service_stops_it_first(self):
        # The registered program carries a configuration block: an older packed launcher
        # (here the test service packed as a stub; a stub must be stripped).
        stub = os.path.join(self.work, "testsvc-stripped.exe")
        subprocess.run(["x86_64-w64-mingw32-strip", "-o", stub, TESTSVC], check=True)
        packed = harness.pack(os.path.join(self.work, "older"), project("kvrun"), name="older.exe", stub=stub)
        self.start_test_service("kvrun", binary='"%s" service normal' % self.prefix.winpath(packed))
        self.verb("-install", "kvrun")
        info = self.query("kvrun")
        self.assertEqual(info["binary_path"], self.own_command())
        self.assertEqual(int(info["state"]), STOPPED)

    def test_service_name_after_the_verb_and_verb_spellings(self):
        self.verb("-install", "My", "Service")
        self.assertEqual(self.query("My Service")["binary_path"], self.own_command())
        for spelling in ("--status", "/status", "/-status"):
            self.verb(spelling, "My", "Service", rc=3)
        self.verb("-uninstall", "My", "Service")
        # "-install " with a blank and nothing after it keeps key 101.
        r = self.svctool("run", '"%s" -install ' % self.prefix.winpath(self.exe))
        self.assertEqual(r.rc, 0, r)
        self.assertEqual(self.query("kvsvc")["binary_path"], self.own_command())

    def test_capitalised_verb_is_not_a_verb(self):
        # -Install goes to extraction and the dispatcher, which fails from a console
        # (about 10 s under Wine); nothing is installed and nothing printed.
        self.assertEqual(self.verb("-Install", "kvcap").stdout, "")
        self.assertIsNone(self.query("kvcap"))

    # ---- failures

    def test_failures_of_each_verb(self):
        self.verb("-uninstall", "kvnone", rc=1)
        self.verb("-start", "kvnone", rc=1)
        self.verb("-status", "kvnone", rc=1)
        self.verb("-stop", "kvnone", rc=1)
        self.verb("-install-demand", "kvidle")
        self.verb("-stop", "kvidle", rc=1)
        self.verb("-status", "kvidle", rc=3)
        self.verb("-uninstall", "kvidle")

    # ---- a running service registered with our path

    def test_status_start_stop_of_a_running_service_with_our_path(self):
        # Register with -install, then let the test service stand in for our image
        # while it runs (Linux renames under the running process), then put ours back.
        appdir = os.path.join(self.work, "own")
        exe = harness.pack(appdir, project("kvown"))
        self.verb("-install", exe=exe)
        shutil.move(exe, exe + ".real")
        shutil.copy(TESTSVC, exe)
        try:
            self.assertEqual(self.svctool("start", "kvown").rc, 0)
            self.wait_for_state("kvown", RUNNING)
        finally:
            os.replace(exe + ".real", exe)
        self.verb("-status", exe=exe)
        self.verb("-start", exe=exe)
        self.verb("-stop", exe=exe)
        self.assertEqual(self.state("kvown"), STOPPED)
        self.verb("-status", exe=exe, rc=3)

    def test_status_recognises_our_path_quoted_or_not_but_not_a_longer_one(self):
        exe = harness.pack(os.path.join(self.work, "plain"), project("kvplain"))
        win = self.prefix.winpath(exe)
        # Ours: 3 (not running); another executable's: 1.
        for name, binary, rc in [("kvq", '"%s"' % win, 3), ("kvunq", win, 3), ("kvbak", win + ".bak", 1)]:
            with self.subTest(name):
                self.assertEqual(self.svctool("create", name, "3", binary).rc, 0)
                self.verb("-status", name, exe=exe, rc=rc)

    def test_status_of_a_running_service_of_another_executable(self):
        self.start_test_service("kvother")
        self.verb("-status", "kvother", rc=1)
        self.verb("-start", "kvother")
        self.verb("-stop", "kvother")
        self.assertEqual(self.state("kvother"), STOPPED)

    def test_stop_whose_wait_runs_out(self):
        # The test service stays stop-pending with a 1000 ms wait hint and a still checkpoint.
        self.start_test_service("kvstuck", mode="stuckstop")
        started = time.monotonic()
        self.verb("-stop", "kvstuck")
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(self.state("kvstuck"), STOP_PENDING)

    # ---- start-up

    def test_path_prepend_from_key_10004(self):
        probe_dir = os.path.join(self.work, "probe")
        out = harness.pack(probe_dir, project("kvprobe", raw='"10004" = "a;b"\n"146" = "a"'), name="probe.exe",
                           stub=PATHPROBE)
        os.makedirs(os.path.join(probe_dir, "a"), exist_ok=True)
        r = self.prefix.envrun(out, {"PATH": "C:\\windows\\system32;C:\\windows"})
        self.assertEqual(r.rc, 0, r)
        fields = harness.fields(r.stdout)
        base = self.prefix.winpath(probe_dir)
        expected = "%s\\a;%s\\b;C:\\windows\\system32;C:\\windows" % (base, base)
        self.assertEqual(fields["PATH"], expected)
        self.assertEqual(fields["crt_PATH"], expected)
        self.assertEqual(fields["cwd"].lower(), (base + "\\a").lower())


if __name__ == "__main__":
    unittest.main()
