"""The java -version probe and the per-user version cache against the real
registry, files and processes, with the stand-in java.exe. Which way a version was
found shows in the runs of java.exe and the cache; the log lines are ProbeTest's."""
import shutil
import unittest

import homes
from jvm_common import DRIVER, JvmPrefixTest


class ProbeAndCacheTest(JvmPrefixTest):
    prefix_name = "jvm-probe"

    def search(self, home, **kw):
        config = {"126": "1.5", "128": "B" + self.prefix.winpath(str(home.path))}
        config.update(kw.pop("config", {}))
        return self.driver("search", config=config, **kw)

    def test_accepted_version_is_cached_and_reused_until_the_file_changes(self):
        home = homes.make_jre(self.root / "jre6", self.fx, "1.6.0_03")
        exe = self.win(home.bin.java_exe)

        first = self.search(home)
        self.assertEqual(first["kind"], "2")
        self.assertEqual(first["javaExe"], exe)
        self.assertEqual(home.runs(), 1)
        self.assertTrue(exe.startswith("c:\\"), exe)

        values = self.cache_values(exe)
        self.assertIsNotNone(values, "no cache key for " + exe)
        kind, data = values["LastWriteTime"]
        self.assertEqual(kind, "REG_BINARY")
        self.assertEqual(len(data), 16, data)  # 8 bytes as hex
        self.assertEqual(values["Version"], ("REG_SZ", "1.6.0_03"))

        second = self.search(home)
        self.assertEqual(second["javaExe"], exe)
        self.assertEqual(home.runs(), 1, "the second search ran java.exe")

        home.bin.touch()
        third = self.search(home)
        self.assertEqual(third["kind"], "2")
        self.assertEqual(home.runs(), 2, "a changed java.exe was not probed again")
        self.assertNotEqual(self.cache_values(exe)["LastWriteTime"][1], data)

    def test_nonzero_exit_caches_1_0_0(self):
        home = homes.make_jre(self.root / "broken", self.fx, "1.6.0_03", exit_code=1)
        exe = self.win(home.bin.java_exe)
        r = self.driver("check", exe, config={"126": "1.5"})
        self.assertEqual(r["result"], "0")
        self.assertEqual(self.cache_values(exe)["Version"], ("REG_SZ", "1.0.0"))
        # The next check takes 1.0.0 from the cache: below 1.5, accepted without a minimum.
        self.assertEqual(self.driver("check", exe, config={"126": "1.5"})["result"], "0")
        again = self.driver("check", exe)
        self.assertEqual(again["result"], "1")
        self.assertEqual(again["version"], "1.0.0")
        self.assertEqual(home.runs(), 1)

    def test_sleeper_past_the_limit_is_terminated_and_nothing_cached(self):
        home = homes.make_jre(self.root / "sleeper", self.fx, "1.6.0_03", delay_ms=30000)
        exe = self.win(home.bin.java_exe)
        r = self.driver("--timeout", "1500", "check", exe)
        self.assertEqual(r["result"], "0")
        self.assertIn("Terminating process", r.log)  # the only view of the kill
        self.assertLess(int(r["elapsedMs"]), 20000)
        self.assertIsNone(self.cache_values(exe))
        self.assertEqual(home.runs(), 1)

    def test_warning_before_the_version_line_is_rejected(self):
        text = 'Picked up _JAVA_OPTIONS: -Xmx512m\r\n' + homes.version_output("1.6.0_03")
        home = homes.make_jre(self.root / "picked", self.fx, stderr=text)
        exe = self.win(home.bin.java_exe)
        r = self.driver("check", exe)
        self.assertEqual(r["result"], "0")
        self.assertIsNone(self.cache_values(exe))

    def test_text_after_the_closing_quote_is_not_part_of_the_version(self):
        text = 'java version "17.0.2" 2022-01-18 LTS\r\n'
        home = homes.make_jre(self.root / "jdk17", self.fx, stderr=text)
        exe = self.win(home.bin.java_exe)
        r = self.driver("check", exe, config={"126": "1.5"})
        self.assertEqual(r["version"], "17.0.2")
        self.assertEqual(self.cache_values(exe)["Version"], ("REG_SZ", "17.0.2"))

    def test_home_under_a_directory_with_spaces(self):
        home = homes.make_jre(self.root / "Program Files" / "My Java" / "jre6", self.fx, "1.6.0_03")
        # A decoy that an unquoted long command line would start instead.
        shutil.copyfile(self.fx.java_exe, self.root / "Program.exe")
        homes.Bin(self.root).configure(homes.version_output("9.9.9"))
        exe = self.win(home.bin.java_exe)
        r = self.search(home)
        self.assertEqual(r["kind"], "2")
        self.assertEqual(r["javaExe"], exe)
        self.assertEqual(home.runs(), 1)
        self.assertEqual(homes.Bin(self.root).runs(), 0)
        self.assertTrue(home.bin.command_lines()[0].endswith(" -version"), home.bin.command_lines())

    def test_executable_search_and_variable_entries(self):
        home = homes.make_jre(self.root / "onpath", self.fx, "1.6.0_03")
        bin_dir = self.prefix.winpath(str(home.bin.path))
        argv = ["--set", "126=1.5", "--set", "128=S", "search"]
        r = self.prefix.envrun(DRIVER, env={"PATH": r"C:\windows\system32;" + bin_dir, "KAVRIN_LOG": "yes"},
                               args=argv)
        self.assertEqual(r.rc, 0, repr(r))
        self.assertIn("kind=1\n", r.stdout)
        self.assertIn("javaExe=" + self.win(home.bin.java_exe) + "\n", r.stdout)

        v = self.driver("search", config={"126": "1.5", "128": "EMY_JAVA"},
                        env={"MY_JAVA": self.prefix.winpath(str(home.path)).replace("\\", "/")})
        self.assertEqual(v["kind"], "3")
        self.assertEqual(v["name"], "MY_JAVA")
        self.assertEqual(v["javaExe"], self.win(home.bin.java_exe))

    def test_packed_runtime_is_unpacked_before_it_is_probed(self):
        home = homes.make_packed_jre(self.root / "packed", self.fx, "1.6.0_03")
        r = self.search(home)
        self.assertEqual(r["kind"], "2")
        self.assertEqual(r["javaExe"], self.win(home.bin.java_exe))
        for archive in homes.PACKED_ARCHIVES:
            self.assertTrue((home.path / archive).exists(), archive)
            self.assertFalse((home.path / (archive + ".pack")).exists(), archive)
        self.assertLess(r.log.index("Unpacking JRE done"), r.log.index("checkJavaExe ("))


if __name__ == "__main__":
    unittest.main()
