"""Shared set-up of the JVM location tests under Wine: one prefix per test class,
homes under its drive C (so paths read c:\\...), and the driver program."""
import os
import shutil

import harness

DRIVER = os.path.join(harness.WINDOWS_BIN, "kavrin-jvm-driver.exe")
CACHE_KEY = r"HKCU\SOFTWARE\dalvenco\kavrin\jvms"

MESSAGES = {
    "1001": "No JVM could be found on your system.",
    "1002": "The JVM found in your path is damaged.",
    "1003": "The environment variable {0} does not point to a working JDK or JRE.",
    "1004": "The JVM found at {0} is damaged.",
    "1005": "The JVM could not be started.",
}


class DriverResult:
    def __init__(self, result):
        self.rc = result.rc
        self.stdout = result.stdout
        self.stderr = result.stderr
        self.values = {}
        self.log = ""
        head, sep, rest = result.stdout.partition("---- log ----\n")
        for line in head.splitlines():
            name, eq, value = line.partition("=")
            if eq:
                self.values[name] = value
        if sep:
            self.log = rest.partition("---- end ----")[0]

    def __getitem__(self, name):
        return self.values[name]


class JvmPrefixTest(harness.PrefixTest):
    prefix_name = "jvm"

    def setUp(self):
        # Each test gets its own directory of homes and an empty version cache.
        self.root = self.drive_c / "jvmtest" / self._testMethodName
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        self.prefix.reg_delete(CACHE_KEY)

    def win(self, path) -> str:
        """The lower-cased Windows path, as the launcher records runtime paths."""
        return self.prefix.winpath(str(path)).lower()

    def driver(self, *args, config=None, timeout=120, log=True, env=None):
        argv = []
        for key, value in (config or {}).items():
            argv += ["--set", f"{key}={value}"]
        e = dict(env or {})
        if log:
            e["KAVRIN_LOG"] = "yes"
        result = self.prefix.run(DRIVER, argv + list(args), env=e, timeout=timeout)
        self.assertEqual(result.rc, 0, repr(result))
        return DriverResult(result)

    def cache_values(self, java_exe_win: str):
        """{"LastWriteTime": (type, data), "Version": (type, data)} of the cache key, or None."""
        return self.prefix.reg_query_typed(CACHE_KEY + "\\" + java_exe_win.replace("\\", "/"))
