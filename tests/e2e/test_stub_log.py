"""The bare launcher stub under Wine: without a configuration block it ends with
exit code 1, and the log switches (KAVRIN_LOG / MOLVEX_LOG, exactly "yes")
create a new mvx_nlog_* file in TMP that starts with the header line and an
empty line."""

import os
import re
import shutil
import time
import unittest

import harness

# "Started executable %s at %s\n" with ctime's text, which ends in its own line feed.
HEADER = re.compile(r"Started executable (.+) at \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}\r\n\r\n")
# Every line after the header starts with the local time.
SECTIONS_LINE = re.compile(r"\r\n\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} number of sections: ")


class StubAndLogTest(harness.PrefixTest):
    prefix_name = "stublog"

    def run_stub(self, temp_dir, **variables):
        return self.run_with_temp(harness.STUB, temp_dir, **variables)

    def assert_header(self, log_path):
        with open(log_path, "rb") as f:
            text = f.read().decode("latin-1")
        match = HEADER.match(text)
        self.assertIsNotNone(match, repr(text[:300]))
        self.assertEqual(match.group(1).lower(), self.prefix.winpath(harness.STUB).lower())
        return text

    def test_stub_without_a_block_exits_1(self):
        # The failure shows in a message box while the block is read; without a
        # display Wine's message box returns at once.
        started = time.monotonic()
        result = self.prefix.run(harness.STUB, timeout=60)
        self.assertEqual(result.rc, 1, result)
        self.assertLess(time.monotonic() - started, 15)

    def test_kavrin_log_yes_creates_a_log_in_tmp(self):
        temp_dir = self.new_dir("kavrin-yes")
        result = self.run_stub(temp_dir, KAVRIN_LOG="yes")
        self.assertEqual(result.rc, 1, result)
        logs = harness.launcher_logs(temp_dir)
        self.assertEqual(len(logs), 1, os.listdir(temp_dir))
        text = self.assert_header(logs[0])
        # The block search logged its steps after the header.
        self.assertRegex(text, SECTIONS_LINE)

    def test_molvex_log_yes_also_switches_it_on(self):
        temp_dir = self.new_dir("molvex-yes")
        result = self.run_stub(temp_dir, KAVRIN_LOG="no", MOLVEX_LOG="yes")
        self.assertEqual(result.rc, 1, result)
        logs = harness.launcher_logs(temp_dir)
        self.assertEqual(len(logs), 1, os.listdir(temp_dir))
        self.assert_header(logs[0])

    def test_other_spellings_switch_nothing_on(self):
        temp_dir = self.new_dir("upper")
        for variables in ({"KAVRIN_LOG": "YES"}, {"MOLVEX_LOG": "Yes"}, {"KAVRIN_LOG": "yes "}):
            result = self.run_stub(temp_dir, **variables)
            self.assertEqual(result.rc, 1, result)
        self.assertEqual(os.listdir(temp_dir), [])

    def test_every_run_gets_its_own_file(self):
        temp_dir = self.new_dir("twice")
        for _ in range(2):
            self.assertEqual(self.run_stub(temp_dir, KAVRIN_LOG="yes").rc, 1)
        logs = harness.launcher_logs(temp_dir)
        self.assertEqual(len(logs), 2, os.listdir(temp_dir))
        for log in logs:
            self.assert_header(log)

    def test_without_a_usable_tmp_the_log_goes_to_c(self):
        drive_c = str(self.drive_c)
        before = set(harness.launcher_logs(drive_c))
        missing = os.path.join(self.work, "no-such-dir")
        result = self.run_stub(missing, KAVRIN_LOG="yes")
        self.assertEqual(result.rc, 1, result)
        created = set(harness.launcher_logs(drive_c)) - before
        self.assertEqual(len(created), 1, sorted(created))
        self.assert_header(created.pop())

    def test_an_unspellable_directory_is_opened_by_its_short_name(self):
        # Code page 1252 (LC_ALL=C.UTF-8) cannot spell Cyrillic: the narrow module
        # name carries "?", so the launcher has to open itself by its short path.
        directory = os.path.join(self.work, "\u0441\u0435\u0440\u0432\u0438\u0441")
        os.makedirs(directory)
        exe = os.path.join(directory, "kavrin-service.exe")
        shutil.copy(harness.STUB, exe)
        temp_dir = self.new_dir("cyrillic")
        result = self.prefix.envrun(exe, env={"TMP": self.prefix.winpath(temp_dir), "KAVRIN_LOG": "yes"})
        self.assertEqual(result.rc, 1, result)
        logs = harness.launcher_logs(temp_dir)
        self.assertEqual(len(logs), 1, os.listdir(temp_dir))
        with open(logs[0], "rb") as f:
            text = f.read().decode("latin-1")
        # It read its own headers (and then found no block) instead of failing to open.
        self.assertNotIn("Could not open", text)
        self.assertRegex(text, SECTIONS_LINE)


if __name__ == "__main__":
    unittest.main()
