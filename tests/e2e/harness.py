"""Whole-program tests under Wine.

Each test class gets its own fresh Wine prefix with a persistent wineserver and
closes it at the end, through the base class PrefixTest:

    class MyTest(harness.PrefixTest):
        prefix_name = "my"  # names the work directory (cls.work) that holds the prefix

        def test_x(self):
            exe = harness.pack(self.work, '[raw]\\n"101" = "mysvc"\\n')
            r = self.prefix.run(exe, ["-status"])
            self.assertEqual(r.rc, 1)
            self.assertIn("...", r.stdout)

Locations come from the environment that ctest sets: KAVRIN_WINDOWS_BIN (the
cross-built programs: kavrin-service.exe, envrun.exe, kavrin-testsvc.exe, fixtures/) and
KAVRIN_HOST_BIN (kavrin-pack). Output of every Wine process goes to files, never
to pipes: the first wine process starts services that inherit its handles.
"""

import glob
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import homes

_REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINDOWS_BIN = os.environ.get("KAVRIN_WINDOWS_BIN", os.path.join(_REPO, "build", "windows", "bin"))
HOST_BIN = os.environ.get("KAVRIN_HOST_BIN", os.path.join(_REPO, "build", "host", "bin"))
STUB = os.path.join(WINDOWS_BIN, "kavrin-service.exe")
BUILDER = os.path.join(HOST_BIN, "kavrin-pack")
ENVRUN = os.path.join(WINDOWS_BIN, "envrun.exe")
FIXTURES = os.path.join(WINDOWS_BIN, "fixtures")
TESTSVC = os.path.join(WINDOWS_BIN, "kavrin-testsvc.exe")

SYSTEM_ENV_KEY = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services\\"

# Service states as QueryServiceStatusEx reports them.
STOPPED, START_PENDING, STOP_PENDING, RUNNING = 1, 2, 3, 4


class Result:
    """Exit code and output of one process. rc is None when it timed out.

    stdout/stderr are text with CRLF turned into LF (decoded as UTF-8, bad bytes
    replaced); raw_stdout/raw_stderr are the bytes as written. Unpacks as
    (rc, stdout, stderr)."""

    def __init__(self, rc, raw_stdout, raw_stderr, timed_out=False):
        self.rc = rc
        self.raw_stdout = raw_stdout
        self.raw_stderr = raw_stderr
        self.stdout = _text(raw_stdout)
        self.stderr = _text(raw_stderr)
        self.timed_out = timed_out

    def __iter__(self):
        return iter((self.rc, self.stdout, self.stderr))

    def __repr__(self):
        return "Result(rc=%r, stdout=%r, stderr=%r)" % (self.rc, self.stdout[-2000:], self.stderr[-2000:])


def _text(data):
    return data.decode("utf-8", errors="replace").replace("\r\n", "\n")


class WinePrefix:
    """A private Wine prefix with its own persistent wineserver."""

    def __init__(self, directory, lc_all):
        self.directory = os.path.abspath(directory)
        self.path = os.path.join(self.directory, "wineprefix")
        self.logs = os.path.join(self.directory, "logs")
        # The wineserver keeps its socket under TMPDIR, in a directory named after the
        # prefix's device and inode. A private TMPDIR means a new prefix that happens
        # to get the inode of a deleted one can never meet that one's server.
        self.server_tmp = os.path.join(self.directory, "server-tmp")
        self.lc_all = lc_all
        self._counter = 0
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update({
            "WINEPREFIX": self.path,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LC_ALL": lc_all,
            "TMPDIR": self.server_tmp,
        })

    @classmethod
    def fresh(cls, dirname, lc_all="C.UTF-8"):
        """Creates (replacing what was there) and boots a prefix under dirname."""
        prefix = cls(dirname, lc_all)
        if os.path.isdir(prefix.path):
            prefix._server("-k")
        shutil.rmtree(prefix.directory, ignore_errors=True)
        os.makedirs(prefix.logs)
        os.makedirs(prefix.server_tmp)
        # Seen once on a busy machine: a boot that fails half-way (kernel32 not found
        # in the new prefix). A second attempt starts over on a clean directory.
        for attempt in (1, 2):
            os.makedirs(prefix.path)
            prefix._start_server()
            # The first process initialises the new prefix by itself. "wineboot -i" on
            # top of that starts a second service manager, and the two then answer
            # service calls in turn, each with its own view.
            boot = prefix._wine(["wineboot"], timeout=300)
            if boot.rc == 0:
                return prefix
            prefix.close()
            shutil.rmtree(prefix.path, ignore_errors=True)
            os.makedirs(prefix.server_tmp, exist_ok=True)
        raise RuntimeError("wineboot failed twice: %r" % boot)

    @classmethod
    def attach(cls, dirname, lc_all="C.UTF-8"):
        """The prefix that fresh() made earlier under dirname (for a run split over processes)."""
        prefix = cls(dirname, lc_all)
        if not os.path.isdir(prefix.path):
            raise RuntimeError("no Wine prefix under %s" % dirname)
        prefix._start_server()  # no-op while one runs
        return prefix

    def close(self):
        """Kills every process of the prefix and its wineserver, then removes the
        prefix (about 700 MB) unless KAVRIN_KEEP_PREFIX is set; the logs stay."""
        self._server("-k")
        self._server("-w")
        if not os.environ.get("KAVRIN_KEEP_PREFIX"):
            shutil.rmtree(self.path, ignore_errors=True)
            shutil.rmtree(self.server_tmp, ignore_errors=True)

    # ---- running programs

    def run(self, exe, args=(), env=None, timeout=60, cwd=None):
        """Runs a Windows program (Linux path or Windows name) and waits for it."""
        return self._wine([exe] + list(args), env=env, timeout=timeout, cwd=cwd)

    def envrun(self, exe, env=None, args=(), timeout=60, cwd=None):
        """Runs exe with variables set inside Windows (TMP, TEMP and PATH come from the
        registry otherwise). env: the variables for that one process."""
        assignments = ["%s=%s" % (k, v) for k, v in (env or {}).items()]
        target = self.winpath(exe) if os.path.isabs(exe) else exe
        return self.run(ENVRUN, assignments + ["--", target] + list(args), timeout=timeout, cwd=cwd)

    def oem_encoding(self):
        """Python's name for the prefix's OEM code page, which follows LC_ALL."""
        language = self.lc_all.split("_")[0].split(".")[0]
        return {"ja": "cp932", "ru": "cp866"}.get(language, "cp437")

    def winpath(self, linux_path):
        """The Windows name of a Linux path: C:\\ for the prefix's drive, Z:\\ for the rest."""
        path = os.path.abspath(linux_path)
        drive_c = os.path.join(self.path, "drive_c")
        if path == drive_c or path.startswith(drive_c + os.sep):
            return "C:" + (path[len(drive_c):] or "\\").replace("/", "\\")
        return "Z:" + path.replace("/", "\\")

    def linuxpath(self, windows_path):
        """The Linux name of C:\\... or Z:\\... paths."""
        drive, rest = windows_path[0].upper(), windows_path[2:].replace("\\", "/")
        if drive == "C":
            return os.path.join(self.path, "drive_c") + rest
        if drive == "Z":
            return rest or "/"
        raise ValueError(windows_path)

    # ---- registry (through Wine's reg.exe)

    def reg_query(self, key, value=None):
        """With value: its data as text, or None when the key or value is missing.
        Without: {name: data} of the key's values, or None when the key is missing.
        The default value is named ""."""
        typed = self.reg_query_typed(key, value)
        if typed is None:
            return None
        if value is not None:
            return typed[1]
        return {name: data for name, (_, data) in typed.items()}

    def reg_query_typed(self, key, value=None):
        """Like reg_query, with (type, data) pairs: ("REG_SZ", "c:\\x;")."""
        args = ["query", key] + (["/v", value] if value is not None else [])
        result = self.run("reg", args)
        if result.rc != 0:
            return None
        # reg.exe writes to a file in the OEM code page.
        text = result.raw_stdout.decode(self.oem_encoding(), errors="replace").replace("\r\n", "\n")
        values = {}
        for line in text.split("\n"):
            if not line.startswith("    "):
                continue
            parts = line[4:].split("    ", 2)
            if len(parts) < 2:
                continue
            name = "" if parts[0] == "(Default)" else parts[0]
            values[name] = (parts[1], parts[2] if len(parts) > 2 else "")
        if value is not None:
            return values.get(value)
        return values

    def reg_add(self, key, value=None, data=None, type="REG_SZ"):
        """Creates the key, and sets value (None: the default value) when data is given."""
        args = ["add", key]
        if data is not None:
            args += (["/v", value] if value is not None else ["/ve"]) + ["/t", type, "/d", str(data)]
        result = self.run("reg", args + ["/f"])
        if result.rc != 0:
            # Seen once under heavy load: reg.exe failing without a word; a second
            # try tells a passing hiccup from a real error.
            time.sleep(1)
            result = self.run("reg", args + ["/f"])
        if result.rc != 0:
            raise RuntimeError("reg add %s failed twice: %r" % (key, result))
        return result

    def reg_delete(self, key, value=None):
        """Deletes the key (or one value); True when something was deleted."""
        args = ["delete", key] + (["/v", value] if value is not None else []) + ["/f"]
        return self.run("reg", args).rc == 0

    def set_system_env(self, name, value):
        """Sets a system environment variable and restarts the wineserver, so the
        service manager (and every new process) builds its environment with it."""
        self.reg_add(SYSTEM_ENV_KEY, name, value)
        self.restart_server()

    def restart_server(self):
        self._server("-k")
        self._server("-w")
        self._start_server()

    # ---- internals

    def _next_log(self, stem):
        self._counter += 1
        return os.path.join(self.logs, "%03d-%s" % (self._counter, stem))

    def _wine(self, args, env=None, timeout=60, cwd=None):
        full_env = dict(self.env)
        full_env.update(env or {})
        stem = os.path.basename(str(args[0])).replace("\\", "_")[:40]
        out_path, err_path = self._next_log(stem + ".out"), self._next_log(stem + ".err")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.Popen(["wine"] + [str(a) for a in args], stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=err, env=full_env, cwd=cwd, start_new_session=True)
            try:
                rc, timed_out = proc.wait(timeout=timeout), False
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
                rc, timed_out = None, True
        with open(out_path, "rb") as f:
            raw_out = f.read()
        with open(err_path, "rb") as f:
            raw_err = f.read()
        return Result(rc, raw_out, raw_err, timed_out)

    def _server(self, *args):
        subprocess.run(["wineserver"] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def _start_server(self):
        self._server("-p")


def write_files(directory, files):
    """Writes {relative name: bytes or str (UTF-8)} under directory, creating folders."""
    os.makedirs(directory, exist_ok=True)
    for rel, content in files.items():
        path = Path(directory, rel)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode("utf-8") if isinstance(content, str) else content)


def pack(tmpdir, toml_text, name="svc.exe", extra_files=None, stub=STUB):
    """Writes the project file (and extra_files: {relative name: bytes or str}) into
    tmpdir, packs it onto stub with the host builder, returns the output's path."""
    write_files(tmpdir, extra_files or {})
    project = os.path.join(tmpdir, os.path.splitext(name)[0] + ".toml")
    with open(project, "w", encoding="utf-8") as f:
        f.write(toml_text)
    output = os.path.join(tmpdir, name)
    result = subprocess.run([BUILDER, "build", project, "-o", output, "--stub", stub], stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=120)
    if result.returncode != 0:
        raise RuntimeError("kavrin-pack failed (%d): %s%s" % (result.returncode, result.stdout.decode(errors="replace"),
                                                               result.stderr.decode(errors="replace")))
    return output



def fields(text):
    """{key: value} of the key=value lines a tool prints."""
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def launcher_logs(directory):
    """The launcher's log files (mvx_nlog_*) in directory, sorted by name."""
    return sorted(glob.glob(os.path.join(directory, "mvx_nlog_*")))


def read_launcher_log(path):
    """A launcher log's text with LF line ends and without the time that starts each line."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1").replace("\r\n", "\n")
    return re.sub(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ", "", text, flags=re.M)


def wait_for(predicate, timeout=60):
    """Polls predicate until it holds or timeout seconds pass; its last answer."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.25)
    return predicate()


class PrefixTest(unittest.TestCase):
    """Base of the test classes: a fresh prefix (cls.prefix) in a new work directory
    (cls.work) for the class, closed after its last test. system_env: variables set
    in the system environment once the prefix is up (the service manager's too)."""
    prefix_name = "e2e"
    system_env = {}

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="kvr-e2e-%s-" % cls.prefix_name)
        cls.prefix = WinePrefix.fresh(os.path.join(cls.work, "prefix"))
        for variable, value in cls.system_env.items():
            cls.prefix.set_system_env(variable, value)
        cls.drive_c = Path(cls.prefix.path) / "drive_c"
        cls.fx = homes.Fixtures.from_dir(FIXTURES)

    @classmethod
    def tearDownClass(cls):
        cls.prefix.close()

    def new_dir(self, name):
        """A new directory under the work directory."""
        path = os.path.join(self.work, name)
        os.makedirs(path)
        return path

    def run_with_temp(self, exe, temp_dir, args=(), timeout=120, **variables):
        """Runs exe with TMP and TEMP (and variables) set to temp_dir for that one process."""
        env = {"TMP": self.prefix.winpath(temp_dir), "TEMP": self.prefix.winpath(temp_dir)}
        env.update(variables)
        return self.prefix.envrun(exe, env=env, args=args, timeout=timeout)

    def verb(self, exe, *args, rc=0, timeout=120):
        """Runs exe with a verb and checks its exit code (rc None: unchecked)."""
        result = self.prefix.run(exe, list(args), timeout=timeout)
        if rc is not None:
            self.assertEqual(result.rc, rc, result)
        return result

    # ---- services, through the service API (Wine's sc.exe cannot show a configuration)

    def svctool(self, *args):
        """Runs the tests' service tool, kavrin-testsvc.exe (testsvc.cpp)."""
        return self.prefix.run(TESTSVC, list(args))

    def query(self, name):
        """The service's status and configuration ({key: text}), or None when it does not exist."""
        r = self.svctool("query", name)
        return fields(r.stdout) if r.rc == 0 else None

    def state(self, name):
        """The current state (STOPPED, RUNNING...) or None when the service does not exist."""
        info = self.query(name)
        return int(info["state"]) if info else None

    def wait_for_state(self, name, state, timeout=60):
        """Polls until the service reaches state (None: until it is gone) and fails the
        test when it does not; the service's query() then.

        Wine's service manager shows another process's create or delete only after a
        moment (seen: up to a second), so after a change wait here instead of querying once."""
        wait_for(lambda: self.state(name) == state, timeout)
        info = self.query(name)
        self.assertEqual(info and int(info["state"]), state, info)
        return info


def _stand_in_emulates_jni():
    """Whether the stand-in jvm.dll creates a VM (its JNI emulation, with the control
    words, is built in) or only refuses, as its first version did."""
    path = os.path.join(FIXTURES, "jvm.dll")
    return os.path.exists(path) and b"exit-process" in Path(path).read_bytes()


needs_jvm = unittest.skipUnless(_stand_in_emulates_jni(), "the stand-in jvm.dll has no JNI emulation in this build")


def record_text(path):
    """What the stand-in jvm.dll recorded so far (its jvm-record.txt), or ""."""
    path = Path(path)
    return path.read_bytes().decode("utf-8") if path.exists() else ""


def main_args(record):
    """The arguments of the last main call in a record."""
    lines = record.split("\n")
    start = max(i for i, line in enumerate(lines) if line.startswith("main argc="))
    return [line[len("arg "):] for line in lines[start + 1:] if line.startswith("arg ")]


def vm_options(record):
    """The JVM options of every creation in a record, in order."""
    return [line[len("option "):] for line in record.split("\n") if line.startswith("option ")]


class ServiceTest(PrefixTest):
    """PrefixTest with packed services that run the launcher on the stand-in runtime."""
    main_class = "org.example.Main"

    def make_service(self, name, jre_version="1.8.0_202", search=None, java_delay_ms=0, control="", extra=""):
        """A packed service in C:\\<name>\\app with its own stand-in runtime in C:\\<name>\\jre
        (control: the jvm.dll's control words); (exe, jre home, the jvm.dll's record file).
        The service is uninstalled at the end of the test."""
        root = self.drive_c / name
        jre = homes.make_jre(root / "jre", self.fx, jre_version, jvm_subdir="server", delay_ms=java_delay_ms)
        dll_dir = jre.bin.path / "server"
        (dll_dir / "jvm-control.txt").write_text(control)
        search = search if search is not None else "B" + self.prefix.winpath(str(jre.path))
        toml = "\n".join([
            "[project]", "defaults = true",
            "[files]", "runtime = true",  # the start classes, extracted at start
            "[raw]",
            '"101" = "%s"' % name,
            '"122" = "%s"' % self.main_class,
            "\"128\" = '%s'" % search,
            extra,
            "",
        ])
        exe = pack(str(root / "app"), toml, name="svc.exe")
        self.addCleanup(self.prefix.run, exe, ["-uninstall"], timeout=120)
        return exe, jre, dll_dir / "jvm-record.txt"

    def wait_until_gone(self, name, stop):
        """Runs stop() for the running service and waits until its process has ended."""
        pid = self.query(name)["pid"]
        stop()
        self.assertEqual(self.svctool("gone", pid, "20000").rc, 0, "process %s of %s still runs" % (pid, name))

    def start_and_wait_for_main(self, name, record, *start_args):
        """Starts the service (with start_args) and waits until it runs and main was called."""
        before = record_text(record).count("main argc=")
        r = self.svctool("start", name, *start_args)
        self.assertEqual(r.rc, 0, r)
        self.assertTrue(wait_for(lambda: record_text(record).count("main argc=") > before and
                                 self.state(name) == RUNNING),
                        (record_text(record), self.query(name)))
