#!/usr/bin/env bash
# Extraction throughput of a 200 MB included file under Wine against a plain copy of
# the same data on the same disk. Prints figures; it is not a test.
#
# Usage: scripts/bench-extraction.sh [size-in-MB]     (after both presets are built)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
size_mb="${1:-200}"
work="$root/build/windows/bench-extraction"
rm -rf "$work"
mkdir -p "$work"
export KAVRIN_ROOT="$root" BENCH_WORK="$work" BENCH_MB="$size_mb"
exec python3 - <<'PY'
import os, shutil, sys, time
sys.path.insert(0, os.path.join(os.environ["KAVRIN_ROOT"], "tests", "e2e"))
import harness

work = os.environ["BENCH_WORK"]
size = int(os.environ["BENCH_MB"]) * 1024 * 1024
src = os.path.join(work, "src")
os.makedirs(src)
data_path = os.path.join(src, "payload.bin")
with open(data_path, "wb") as f:
    block = os.urandom(1 << 20)
    for _ in range(size >> 20):
        f.write(block)
exe = harness.pack(src, '[project]\ndefaults = true\n[files]\nruntime = false\ninclude = ["payload.bin"]\n', name="bench.exe")

def plain_copy(source, target):
    # Same disk, same chunk size as the extraction, no transformation.
    start = time.perf_counter()
    with open(source, "rb") as i, open(target, "wb") as o:
        while True:
            chunk = i.read(8192)
            if not chunk:
                break
            o.write(chunk)
    return time.perf_counter() - start

def extraction_seconds(prefix, temp_dir):
    # The log marks the start and the end of extraction; the clock runs between the
    # moments each line appears (the stub flushes every line).
    env = {"TMP": prefix.winpath(temp_dir), "TEMP": prefix.winpath(temp_dir), "KAVRIN_LOG": "yes"}
    import threading
    done = {}
    runner = threading.Thread(target=lambda: done.setdefault("r", prefix.envrun(exe, env=env, timeout=600)))
    runner.start()
    began = ended = None
    while runner.is_alive() and ended is None:
        for name in os.listdir(temp_dir):
            if name.startswith("mvx_nlog"):
                with open(os.path.join(temp_dir, name), "rb") as f:
                    text = f.read()
                now = time.perf_counter()
                if began is None and b"Temp dir:" in text:
                    began = now
                if began is not None and b"extracting files done" in text:
                    ended = now
        time.sleep(0.005)
    runner.join()
    if began is None or ended is None:
        sys.exit("extraction did not finish: %r" % (done.get("r"),))
    return ended - began

prefix = harness.WinePrefix.fresh(os.path.join(work, "prefix"))
try:
    mb = size / (1024 * 1024)
    rounds = []
    for n in range(5):
        temp_dir = os.path.join(work, "tmp%d" % n)
        os.makedirs(temp_dir)
        os.sync()  # each measurement starts without the previous one's dirty pages
        ext = extraction_seconds(prefix, temp_dir)
        os.sync()
        cp = plain_copy(data_path, os.path.join(work, "copy%d.bin" % n))
        shutil.rmtree(temp_dir, ignore_errors=True)
        os.remove(os.path.join(work, "copy%d.bin" % n))
        rounds.append((ext, cp))
        print("round %d: extraction %.1f MB/s, plain copy %.1f MB/s" % (n + 1, mb / ext, mb / cp))
    ext_times = sorted(r[0] for r in rounds)
    cp_times = sorted(r[1] for r in rounds)
    median = lambda values: values[len(values) // 2]
    print("size: %.0f MB, %d rounds" % (mb, len(rounds)))
    print("extraction: median %.1f MB/s, best %.1f MB/s" % (mb / median(ext_times), mb / ext_times[0]))
    print("plain copy: median %.1f MB/s, best %.1f MB/s" % (mb / median(cp_times), mb / cp_times[0]))
    print("ratio extraction/copy: median %.2f, best %.2f" % (median(cp_times) / median(ext_times),
                                                             cp_times[0] / ext_times[0]))
finally:
    prefix.close()
PY
