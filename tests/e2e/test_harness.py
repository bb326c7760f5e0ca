"""The end-to-end harness itself: what every whole-program test relies on
(envrun giving one process its variables and passing its exit code through, the
registry helpers, the system environment restart, the service query and state wait)."""

import os
import unittest

import harness

CHILD = os.path.join(harness.WINDOWS_BIN, "kavrin-test-child.exe")


class HarnessTest(harness.PrefixTest):
    prefix_name = "harness"

    def test_run_captures_exit_code_and_both_streams(self):
        result = self.prefix.run(CHILD, ["--stdout", "out text\n", "--stderr", "err text", "--exit", "7"])
        self.assertEqual(result.rc, 7)
        self.assertEqual(result.stdout, "out text\n")
        self.assertEqual(result.stderr, "err text")
        rc, out, err = result
        self.assertEqual((rc, out, err), (7, "out text\n", "err text"))

    def test_run_stops_a_process_at_its_timeout(self):
        result = self.prefix.run(CHILD, ["--sleep", "30000"], timeout=2)
        self.assertTrue(result.timed_out)
        self.assertIsNone(result.rc)

    def test_envrun_sets_tmp_for_one_process_and_passes_the_exit_code(self):
        directory = os.path.join(self.work, "tmp for envrun")
        os.makedirs(directory)
        windows_dir = self.prefix.winpath(directory)
        result = self.prefix.envrun("cmd", env={"TMP": windows_dir, "KVR_EMPTY": ""},
                                    args=["/c", "echo", "[%TMP%]"])
        self.assertEqual(result.rc, 0, result)
        self.assertEqual(result.stdout.strip(), "[%s]" % windows_dir)
        # Without envrun the registry's TMP applies.
        plain = self.prefix.run("cmd", ["/c", "echo", "[%TMP%]"])
        self.assertNotEqual(plain.stdout.strip(), "[%s]" % windows_dir)
        # Arguments with blanks and quotes arrive intact; the exit code comes back.
        child = self.prefix.envrun(CHILD, env={"X": "1"}, args=["--stderr", 'a "quoted" text', "--exit", "3"])
        self.assertEqual((child.rc, child.stderr), (3, 'a "quoted" text'))

    def test_winpath_and_linuxpath_are_inverse(self):
        inside = os.path.join(self.prefix.path, "drive_c", "windows")
        self.assertEqual(self.prefix.winpath(inside), "C:\\windows")
        self.assertEqual(self.prefix.winpath("/tmp/a b"), "Z:\\tmp\\a b")
        self.assertEqual(self.prefix.linuxpath("C:\\windows"), inside)
        self.assertEqual(self.prefix.linuxpath("Z:\\tmp\\a b"), "/tmp/a b")

    def test_registry_round_trip(self):
        key = "HKCU\\Software\\kavrin-e2e\\roundtrip"
        self.assertIsNone(self.prefix.reg_query(key))
        self.prefix.reg_add(key, "list", "c:\\a b;c:\\c;")
        self.prefix.reg_add(key, "accented", "caf\u00e9")
        self.prefix.reg_add(key, "number", 42, type="REG_DWORD")
        self.assertEqual(self.prefix.reg_query(key, "list"), "c:\\a b;c:\\c;")
        self.assertEqual(self.prefix.reg_query_typed(key, "number"), ("REG_DWORD", "0x2a"))
        self.assertEqual(self.prefix.reg_query(key, "accented"), "caf\u00e9")
        self.assertEqual(self.prefix.reg_query(key),
                         {"list": "c:\\a b;c:\\c;", "accented": "caf\u00e9", "number": "0x2a"})
        self.assertIsNone(self.prefix.reg_query(key, "absent"))
        self.assertTrue(self.prefix.reg_delete(key))
        self.assertIsNone(self.prefix.reg_query(key))
        self.assertFalse(self.prefix.reg_delete(key))

    def test_system_environment_reaches_new_processes_after_the_restart(self):
        self.prefix.set_system_env("KVR_E2E_SYSTEM", "from the registry")
        result = self.prefix.run("cmd", ["/c", "echo", "[%KVR_E2E_SYSTEM%]"])
        self.assertEqual(result.stdout.strip(), "[from the registry]")
        self.prefix.reg_delete(harness.SYSTEM_ENV_KEY, "KVR_E2E_SYSTEM")

    def test_query_reports_configuration_and_state(self):
        name = "kvr-e2e-harness"
        self.assertIsNone(self.query(name))
        binary = "C:\\svc\\my service.exe"
        created = self.prefix.run("sc", ["create", name, "binPath=", binary, "start=", "demand"])
        self.assertEqual(created.rc, 0, created)
        info = self.wait_for_state(name, harness.STOPPED, timeout=10)
        self.assertEqual(info["binary_path"], binary)
        self.assertEqual(info["start_type"], "3")
        self.assertEqual(info["start_name"], "LocalSystem")
        self.assertEqual(info["description"], "")  # Wine's sc cannot set one
        self.assertEqual(self.prefix.run("sc", ["delete", name]).rc, 0)
        self.assertIsNone(self.wait_for_state(name, None, timeout=10))


if __name__ == "__main__":
    unittest.main()
