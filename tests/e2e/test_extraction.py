"""Included files under Wine: a packed stub started from a console without a verb
writes its included files into a new kvr*.tmp_dir* directory, and a damaged stream
stops it (exit code 1). The messages and log lines are the host tests'
(ExtractionTest, ServiceMainTest); here the files, directories and exit codes."""

import glob
import os
import re
import threading
import time
import unittest

import harness

STUB_NAME = "svc.exe"

# Stored XOR 0xA7: a content byte 0xA7 is 0x00 in the stream and the other way round.
BINARY = bytes([0x00, 0xA7, 0x00, 0x00, 0xA7, 0xA7, 0xFF, 0x58, 0x0D, 0x0A, 0x1A]) * 37
BIG = bytes((i * 7 + 3) % 256 for i in range(8193))  # one full chunk and one byte

PROJECT = """
[project]
defaults = true
[raw]
"101" = "kvrextract"
{raw}
[files]
runtime = false
include = [{names}]
"""


def project_text(names, raw=""):
    return PROJECT.format(names=", ".join('"%s"' % n for n in names), raw=raw)


def read_log(temp_dir):
    logs = harness.launcher_logs(temp_dir)
    if not logs:
        return ""
    return harness.read_launcher_log(logs[-1])


class ExtractionTest(harness.PrefixTest):
    prefix_name = "extract"

    def run_stub(self, exe, temp_dir):
        return self.run_with_temp(exe, temp_dir, timeout=90, KAVRIN_LOG="yes")

    def test_three_files_extracted_byte_identical(self):
        src = self.new_dir("src-ok")
        files = {"empty.bin": b"", "big.bin": BIG, "binary.bin": BINARY}
        harness.write_files(src, files)
        exe = harness.pack(src, project_text(["empty.bin", "big.bin", "binary.bin"]), name=STUB_NAME)
        temp_dir = self.new_dir("tmp-ok")

        # Without a verb the dispatcher call fails (after ~10 s under Wine) and the stub exits 0.
        # While it waits, another process may read an extracted file but not delete it.
        outcome = {}
        runner = threading.Thread(target=lambda: outcome.setdefault("result", self.run_stub(exe, temp_dir)))
        runner.start()
        harness.wait_for(lambda: "extracting files done" in read_log(temp_dir) or not runner.is_alive())
        dirs = glob.glob(os.path.join(temp_dir, "kvr*.tmp_dir*"))
        alive, copy, still_there = runner.is_alive(), None, None
        if alive and len(dirs) == 1:
            big = os.path.join(dirs[0], "big.bin")
            copy = os.path.join(self.work, "big-copy.bin")
            self.prefix.run("cmd", ["/c", "copy", "/b", self.prefix.winpath(big), self.prefix.winpath(copy)])
            self.prefix.run("cmd", ["/c", "del", self.prefix.winpath(big)])
            still_there = os.path.exists(big)
            alive = runner.is_alive()  # the checks above ran while the stub still held its handles
        runner.join()
        result = outcome["result"]
        self.assertEqual(result.rc, 0, result.stderr)
        self.assertTrue(alive and copy, "the stub ended before the sharing check")
        with open(copy, "rb") as f:
            self.assertEqual(f.read(), BIG)
        self.assertTrue(still_there, "another process deleted a file the stub holds")

        dirs = [d for d in glob.glob(os.path.join(temp_dir, "kvr*.tmp_dir*")) if os.path.isdir(d)]
        self.assertEqual(len(dirs), 1, os.listdir(temp_dir))
        self.assertRegex(os.path.basename(dirs[0]), r"^kvr[0-9A-Fa-f]{1,4}\.tmp_dir\d{1,5}$")
        # A zero-length record creates no file; the others are restored byte for byte.
        self.assertEqual(sorted(os.listdir(dirs[0])), ["big.bin", "binary.bin"])
        for name in ("big.bin", "binary.bin"):
            with open(os.path.join(dirs[0], name), "rb") as f:
                self.assertEqual(f.read(), files[name], name)
        # The temporary file that named the directory is gone.
        self.assertFalse(os.path.exists(dirs[0][: dirs[0].rindex("_dir")]))

    def test_truncated_stream_stops_the_launch(self):
        src = self.new_dir("src-cut")
        harness.write_files(src, {"a.bin": BINARY, "big.bin": BIG})
        exe = harness.pack(src, project_text(["a.bin", "big.bin"]), name=STUB_NAME)
        with open(exe, "r+b") as f:  # the stream is the last thing in the file
            f.truncate(os.path.getsize(exe) - 100)
        temp_dir = self.new_dir("tmp-cut")

        self.assertEqual(self.run_stub(exe, temp_dir).rc, 1)
        # The second record gets 8093 of its 8193 bytes, then a read delivers nothing: the
        # partial file goes, the file already extracted is held open, so the directory stays with it.
        dirs = glob.glob(os.path.join(temp_dir, "kvr*.tmp_dir*"))
        self.assertEqual(len(dirs), 1)
        self.assertEqual(os.listdir(dirs[0]), ["a.bin"])

    def test_two_launches_in_the_same_second_get_different_names(self):
        # The name once came from the clock and rand() seeded with the time: two starts
        # in one second shared the number, and anyone could work the name out in advance.
        src = self.new_dir("src-two")
        harness.write_files(src, {"a.bin": BINARY})
        exe = harness.pack(src, project_text(["a.bin"]), name=STUB_NAME)
        temp_dir = self.new_dir("tmp-two")
        runs = [threading.Thread(target=self.run_stub, args=(exe, temp_dir)) for _ in range(2)]
        for run in runs:
            run.start()
        for run in runs:
            run.join()
        names = []
        for log in harness.launcher_logs(temp_dir):
            with open(log, "rb") as f:
                names += re.findall(r"Temp dir: [^\r\n]*\\kvr([0-9A-F]{1,4})\.tmp_dir(\d{1,5})\r\n", f.read().decode("latin-1"))
        self.assertEqual(len(names), 2, names)
        self.assertNotEqual(names[0][0], names[1][0])
        self.assertNotEqual(names[0][1], names[1][1])

    def test_file_planted_in_the_new_directory_stops_the_launch(self):
        # Someone who finds the directory while the first file is written and puts
        # app.jar (and 0.jar) into it: app.jar is never written into nor used, the launch
        # stops, so nothing planted reaches a class path.
        # (Wine keeps the directory's entries but does not enforce them for the same
        # account; the descriptor itself is checked by the win32 tests.)
        src = self.new_dir("src-plant")
        harness.write_files(src, {"big.bin": os.urandom(40 << 20), "app.jar": b"PK-real"})
        exe = harness.pack(src, project_text(["big.bin", "app.jar"]), name=STUB_NAME)
        for attempt in range(3):
            temp_dir = self.new_dir("tmp-plant%d" % attempt)
            planted = {}

            def plant():
                deadline = time.monotonic() + 60
                while time.monotonic() < deadline and not planted:
                    for directory in glob.glob(os.path.join(temp_dir, "kvr*.tmp_dir*")):
                        try:
                            with open(os.path.join(directory, "app.jar"), "xb") as f:
                                f.write(b"PK-planted")
                            with open(os.path.join(directory, "0.jar"), "xb") as f:
                                f.write(b"PK-planted")
                            planted["dir"] = directory
                        except OSError:
                            planted["lost"] = True  # the launcher was first: try again
                    time.sleep(0.001)

            watcher = threading.Thread(target=plant)
            watcher.start()
            result = self.run_stub(exe, temp_dir)
            watcher.join()
            if "dir" not in planted:
                continue
            self.assertEqual(result.rc, 1, result.stderr)
            # The failed extraction empties its directory, planted files included.
            self.assertFalse(os.path.exists(os.path.join(planted["dir"], "0.jar")))
            return
        self.fail("the planting never won the race")

    def test_name_leaving_the_directory_is_refused(self):
        src = self.new_dir("src-unsafe")
        harness.write_files(src, {"a.bin": BINARY})
        # The builder refuses such names, so the raw key carries the hostile one.
        exe = harness.pack(src, project_text(["a.bin"], raw='"2003" = "..\\\\escaped.bin"'), name=STUB_NAME)
        temp_dir = self.new_dir("tmp-unsafe")

        self.assertEqual(self.run_stub(exe, temp_dir).rc, 1)
        self.assertFalse(os.path.exists(os.path.join(temp_dir, "escaped.bin")))
        self.assertEqual(glob.glob(os.path.join(temp_dir, "kvr*.tmp_dir*")), [])


if __name__ == "__main__":
    unittest.main()
