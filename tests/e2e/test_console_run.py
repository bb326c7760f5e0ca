"""-run, -help and the logs under Wine with the stand-in runtime.

Wine cannot deliver console control events (Ctrl+C, Ctrl+Break, closing the
console) to a process, so the stop path of -run is proven over the fake console
in tests/unit/ConsoleRunTest.cpp; here the application ends -run itself through
System.exit.
"""

import os
import re
import time

import harness
from harness import main_args, needs_jvm, record_text, wait_for

STAMPED = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ")


class ConsoleRun(harness.ServiceTest):
    prefix_name = "console"

    @needs_jvm
    def test_run_calls_main_with_the_arguments_and_exits_with_its_code(self):
        exe, _, record = self.make_service("RunApp", control="main-exit=5\n", extra='"124" = "fixed1"')
        result = self.run_with_temp(exe, self.new_dir("run-temp"), ["-run", "x", "y z"])
        self.assertEqual(result.rc, 5, result)
        # After the start class's five parameters: the name, the fixed, then the extra arguments.
        self.assertEqual(main_args(record_text(record))[5:], ["RunApp", "fixed1", "x", "y z"])
        self.assertIsNone(self.query("RunApp"))  # nothing was registered

    def test_run_without_a_jvm_says_so_and_exits_1(self):
        exe, _, _ = self.make_service("RunNoJvm", search="Bc:\\nowhere")
        result = self.run_with_temp(exe, self.new_dir("nojvm-temp"), ["-run"])
        self.assertEqual(result.rc, 1, result)
        self.assertTrue(result.stderr.strip(), result)  # message 1001 (its text: PackProjectTest)

    def test_help_in_every_spelling_prints_the_usage_and_extracts_nothing(self):
        exe, _, _ = self.make_service("HelpApp")
        temp_dir = self.new_dir("help-temp")
        runs = [self.run_with_temp(exe, temp_dir, [spelling]) for spelling in ["-help", "-?", "/?", "--help"]]
        # One usage for every spelling (its text: LauncherTest), naming the packed service.
        self.assertEqual({(r.rc, r.stdout) for r in runs}, {(0, runs[0].stdout)}, runs)
        self.assertIn("HelpApp", runs[0].stdout)
        self.assertEqual(os.listdir(temp_dir), [])  # no carried files, no log

    def test_launcher_log_from_the_project_file_keeps_ten_stamped_files(self):
        exe, _, _ = self.make_service("LogApp", extra="[log]\nlauncher = true")
        temp_dir = self.new_dir("log-temp")
        foreign = ["mvx_nlog", "mvx_nlog_zz", "mvx_nlog_1_2_3", "notes.txt"]
        for name in foreign:
            with open(os.path.join(temp_dir, name), "w") as f:
                f.write("not ours")
        for _ in range(12):
            self.assertEqual(self.run_with_temp(exe, temp_dir, ["-help"]).rc, 0)
            time.sleep(0.05)  # distinct write times
        logs = harness.launcher_logs(temp_dir)
        self.assertEqual(len([p for p in logs if os.path.basename(p) not in foreign]), 10, sorted(os.listdir(temp_dir)))
        for name in foreign:
            self.assertTrue(os.path.exists(os.path.join(temp_dir, name)), name)
        with open(sorted(logs, key=os.path.getmtime)[-1], "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        body = [line for line in lines[2:] if line]  # after the header and its empty line
        self.assertTrue(body)
        for line in body:
            self.assertRegex(line, STAMPED)


class OutputCapture(harness.ServiceTest):
    prefix_name = "capture"

    @needs_jvm
    def test_25_mb_of_output_rotates_into_whole_lines(self):
        name = "kvrcapture"
        exe, _, record = self.make_service(name, control="main-output=26214400\n",
                                           extra="[log]\nmax-size = '10MB'\nkeep = 2")
        self.verb(exe, "-install")
        self.start_and_wait_for_main(name, record)
        wait_for(lambda: "output took" in record_text(record), 120)
        self.verb(exe, "-stop")
        logs = self.drive_c / name / "app" / "logs"
        files = [logs / (name + ".out.log" + suffix) for suffix in (".2", ".1", "")]
        expected_next = None
        for path in files:
            data = path.read_bytes()
            self.assertLessEqual(len(data), 10 * 1024 * 1024 + 99, path)
            lines = data.split(b"\n")
            self.assertEqual(lines[-1], b"", path)  # ends with a whole line
            for line in lines[:-1]:
                self.assertEqual(len(line), 98, (path, line[:20]))  # 99-byte lines
                number = int(line[:10])
                if expected_next is not None:
                    self.assertEqual(number, expected_next, path)
                expected_next = number + 1
        self.assertEqual(expected_next, 26214400 // 100)  # the last line was kept
        self.assertFalse((logs / (name + ".out.log.3")).exists())
        self.assertEqual((logs / (name + ".err.log")).read_bytes(), b"written to stderr\r\n")

    @needs_jvm
    def test_output_written_just_before_the_process_ends_is_kept(self):
        # main writes 30000 lines and ends the process at once: the last of them are still
        # in the pipe then, and only the drain at the process's end can keep them.
        name = "kvrdrain"
        exe, _, _ = self.make_service(name, control="main-output=3000000\nmain-exit=3\n")
        self.verb(exe, "-install")
        self.verb(exe, "-start")
        self.wait_for_state(name, 1)
        out = self.drive_c / name / "app" / "logs" / (name + ".out.log")
        self.assertEqual(out.read_bytes().count(b"\n"), 30000)
