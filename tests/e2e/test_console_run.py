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
from harness import wait_for
from test_service_run import ServiceScenario, needs_jvm

STAMPED = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ")


class ConsoleRun(ServiceScenario):
    prefix_name = "console"

    def run_in(self, exe, temp_dir, args, timeout=120):
        env = {"TMP": self.prefix.winpath(temp_dir), "TEMP": self.prefix.winpath(temp_dir)}
        return self.prefix.envrun(exe, env=env, args=args, timeout=timeout)

    @needs_jvm
    def test_run_calls_main_with_the_arguments_and_exits_with_its_code(self):
        exe, _, record = self.make_service("RunApp", control="main-exit=5\n", extra='"124" = "fixed1"')
        result = self.run_in(exe, self.new_dir("run-temp"), ["-run", "x", "y z"])
        self.assertEqual(result.rc, 5, result)
        # After the start class's five parameters: the name, the fixed, then the extra arguments.
        self.assertEqual(self.main_args(self.record(record))[5:], ["RunApp", "fixed1", "x", "y z"])
        self.assertIsNone(self.query("RunApp"))  # nothing was registered

    def test_run_without_a_jvm_says_so_and_exits_1(self):
        exe, _, _ = self.make_service("RunNoJvm", search="Bc:\\nowhere")
        result = self.run_in(exe, self.new_dir("nojvm-temp"), ["-run"])
        self.assertEqual(result.rc, 1, result)
        # The builder's default "no JVM" message, printed on the console.
        self.assertIn("could be found.", result.stderr)

    def test_help_in_every_spelling_prints_the_usage_and_extracts_nothing(self):
        exe, _, _ = self.make_service("HelpApp")
        temp_dir = self.new_dir("help-temp")
        for spelling in ["-help", "-?", "/?", "--help"]:
            with self.subTest(spelling):
                result = self.run_in(exe, temp_dir, [spelling])
                self.assertEqual(result.rc, 0, result)
                self.assertIn("-run [ARGS]", result.stdout)
                self.assertIn("carries: HelpApp", result.stdout)
        self.assertEqual(os.listdir(temp_dir), [])  # no carried files, no log

    def test_launcher_log_from_the_project_file_keeps_ten_stamped_files(self):
        exe, _, _ = self.make_service("LogApp", extra="[log]\nlauncher = true")
        temp_dir = self.new_dir("log-temp")
        foreign = ["mvx_nlog", "mvx_nlog_zz", "mvx_nlog_1_2_3", "notes.txt"]
        for name in foreign:
            with open(os.path.join(temp_dir, name), "w") as f:
                f.write("not ours")
        for _ in range(12):
            self.assertEqual(self.run_in(exe, temp_dir, ["-help"]).rc, 0)
            time.sleep(0.05)  # distinct write times
        logs = harness.launcher_logs(temp_dir)
        self.assertEqual(len([p for p in logs if os.path.basename(p) not in foreign]), 10, sorted(os.listdir(temp_dir)))
        for name in foreign:
            self.assertTrue(os.path.exists(os.path.join(temp_dir, name)), name)
        with open(sorted(logs, key=os.path.getmtime)[-1], "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        self.assertTrue(lines[0].startswith("Started executable "), lines[:3])
        body = [line for line in lines[2:] if line]
        self.assertTrue(body)
        for line in body:
            self.assertRegex(line, STAMPED)


class OutputCapture(ServiceScenario):
    prefix_name = "capture"

    @needs_jvm
    def test_25_mb_of_output_rotates_into_whole_lines(self):
        name = "kvrcapture"
        exe, _, record = self.make_service(name, control="main-output=26214400\n",
                                           extra="[log]\nmax-size = '10MB'\nkeep = 2")
        self.assertEqual(self.verb(exe, "-install").rc, 0)
        self.start_and_wait_for_main(exe, name, record)
        wait_for(lambda: "output took" in self.record(record), 120)
        self.assertEqual(self.verb(exe, "-stop").rc, 0)
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
