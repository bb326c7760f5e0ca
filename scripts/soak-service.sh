#!/usr/bin/env bash
# Soak check under Wine: CYCLES (default 200) consecutive start/stop cycles of one
# packed service with the stand-in Java runtime, in a fresh private prefix under
# build/soak. Prints the figures (cycles, failures, leftover service processes,
# leftover temporary directories beyond those still queued, the final length of
# "delete_dir") and exits non-zero when a cycle failed or something was left behind.
# Needs both builds: build/host (kavrin-pack) and build/windows (stub, fixtures,
# kavrin-testsvc). Not part of CI (it takes minutes).
#
#   scripts/soak-service.sh [CYCLES]
set -euo pipefail
cd "$(dirname "$0")/.."
export KAVRIN_SOAK_CYCLES="${1:-200}"
export KAVRIN_WINDOWS_BIN="${KAVRIN_WINDOWS_BIN:-$PWD/build/windows/bin}"
export KAVRIN_HOST_BIN="${KAVRIN_HOST_BIN:-$PWD/build/host/bin}"
export PYTHONDONTWRITEBYTECODE=1
unset DISPLAY WAYLAND_DISPLAY
for f in "$KAVRIN_WINDOWS_BIN/kavrin-service.exe" "$KAVRIN_WINDOWS_BIN/kavrin-testsvc.exe" \
         "$KAVRIN_WINDOWS_BIN/fixtures" "$KAVRIN_HOST_BIN/kavrin-pack"; do
    [ -e "$f" ] || { echo "soak: missing $f (build the host and windows presets first)"; exit 2; }
done
mkdir -p build/soak
export TMPDIR="$PWD/build/soak"

exec python3 - <<'PY'
import os
import sys
import time
from pathlib import Path

sys.path.insert(0, os.path.join(os.getcwd(), "tests", "e2e"))
import harness
import homes

CYCLES = int(os.environ["KAVRIN_SOAK_CYCLES"])
NAME = "kvrsoak"
QUEUE = "HKCU\\SOFTWARE\\dalvenco\\kavrin\\temp"
TESTSVC = os.path.join(harness.WINDOWS_BIN, "kavrin-testsvc.exe")
WORK = Path(os.environ["TMPDIR"]).resolve()


def wait_for(predicate, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.2)
    return predicate()


def service_processes():
    """Linux processes of the packed service (its Windows path names the soak directory)."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if ("\\%s\\app\\svc.exe" % NAME).lower() in cmd.lower():
            found.append(int(pid))
    return found


prefix = harness.WinePrefix.fresh(str(WORK / "prefix"))
failures = []
started = time.monotonic()
try:
    drive_c = Path(prefix.path) / "drive_c"
    fx = homes.Fixtures.from_dir(harness.FIXTURES)
    jre = homes.make_jre(drive_c / NAME / "jre", fx, "1.8.0_202", jvm_subdir="server")
    record = jre.bin.path / "server" / "jvm-record.txt"
    (jre.bin.path / "server" / "jvm-control.txt").write_text("")
    toml = "\n".join([
        "[project]", "defaults = true",
        "[files]", "runtime = true",  # the start classes: something to extract at every start
        "[raw]",
        '"101" = "%s"' % NAME,
        '"122" = "org.example.Main"',
        "\"128\" = 'B%s'" % prefix.winpath(str(jre.path)), ""])
    exe = harness.pack(str(drive_c / NAME / "app"), toml, name="svc.exe")

    def query():
        r = prefix.run(TESTSVC, ["query", NAME])
        if r.rc != 0:
            return {}
        return dict(line.split("=", 1) for line in r.stdout.splitlines() if "=" in line)

    def mains():
        return record.read_bytes().decode("utf-8", "replace").count("main argc=") if record.exists() else 0

    r = prefix.run(exe, ["-install-demand"], timeout=120)
    if r.rc != 0:
        raise RuntimeError("install failed: %r" % (r,))

    queue_lengths = []
    seen_running = 0
    for cycle in range(1, CYCLES + 1):
        before = mains()
        r = prefix.run(TESTSVC, ["start", NAME])
        ok = r.rc == 0 and wait_for(lambda: mains() > before and query().get("state") == str(harness.RUNNING))
        if not ok:
            failures.append("cycle %d: start (%r, %r)" % (cycle, r, query()))
        elif service_processes():
            seen_running += 1  # the process matcher works, so "no leftover" means something
        r = prefix.run(exe, ["-stop"], timeout=120)
        stopped = r.rc == 0 and r.stdout == "Stopping service '%s'.\nService stopped\n" % NAME
        info = query()
        if not stopped or (info.get("state"), info.get("win32_exit_code")) != ("1", "0"):
            if ok:
                failures.append("cycle %d: stop (%r, %r)" % (cycle, r, info))
            prefix.run(TESTSVC, ["control", NAME, "1"])
            wait_for(lambda: query().get("state") == "1")
        # The process ends after it reports stopped; give it a moment before the next start.
        wait_for(lambda: not service_processes(), timeout=30)
        queue_lengths.append(len(prefix.reg_query(QUEUE, "delete_dir") or ""))
        if cycle % 20 == 0:
            print("soak: %d cycles, %d failures, delete_dir %d chars, %.0f s" %
                  (cycle, len(failures), queue_lengths[-1], time.monotonic() - started), flush=True)

    # What the runs left behind: every extraction directory the stand-in saw.
    text = record.read_bytes().decode("utf-8", "replace") if record.exists() else ""
    temp_dirs = {line.split("=", 1)[1] for line in text.split("\n") if line.startswith("option -Dkavrin.tempDir=")}
    temp_dirs.discard("")  # a run that extracted nothing
    roots = {Path(prefix.linuxpath(d)).parent for d in temp_dirs}
    on_disk = set()
    for root in roots:
        on_disk |= {p.name.lower() for p in root.glob("kvr*_dir*") if p.is_dir()}
    queue = prefix.reg_query(QUEUE, "delete_dir") or ""
    queued = {entry.rsplit("\\", 1)[-1].lower() for entry in queue.split(";") if entry}
    leftover_dirs = sorted(on_disk - queued)
    leftover_processes = service_processes()
    prefix.run(exe, ["-uninstall"], timeout=120)
finally:
    prefix.close()

print()
print("==== Soak: %d start/stop cycles of a packed service under Wine (%.0f s)" % (CYCLES, time.monotonic() - started))
print("cycles:                     %d" % CYCLES)
print("failures:                   %d" % len(failures))
for f in failures[:10]:
    print("  " + f[:400])
print("extraction directories:     %d seen, %d on disk, %d queued" % (len(temp_dirs), len(on_disk), len(queued)))
print("leftover service processes: %d (the process was seen running in %d cycles)" %
      (len(leftover_processes), seen_running))
print("leftover temp directories:  %d (beyond those still queued)" % len(leftover_dirs))
for d in leftover_dirs[:10]:
    print("  " + d)
print("delete_dir final length:    %d chars (%d entries), largest after any cycle %d chars" %
      (len(queue), len(queued), max(queue_lengths or [0])))
bad = failures or leftover_processes or leftover_dirs or len(temp_dirs) != CYCLES or not seen_running
print("SOAK: %s" % ("FAILED" if bad else "passed"))
sys.exit(1 if bad else 0)
PY
