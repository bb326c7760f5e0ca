"""The two rule sets under Wine with the stand-in runtime: an OpenJDK build's version
line, numeric bounds, the release file, and -diagnose of a packed executable."""
import unittest

import harness
import homes
from jvm_common import CACHE_KEY, JvmPrefixTest

OPENJDK_17 = 'openjdk version "17.0.9" 2023-10-17\r\nOpenJDK Runtime Environment Temurin-17.0.9+9\r\n'


def release_file(home, version):
    (home.path / "release").write_text(f'IMPLEMENTOR="Eclipse Adoptium"\nJAVA_VERSION="{version}"\n')


class JvmRulesTest(JvmPrefixTest):
    prefix_name = "jvm-rules"

    def search_variable(self, home, rules, minimum):
        config = {"126": minimum, "128": "EJAVA_HOME"}
        if rules:
            config["3100"] = rules
        return self.driver("search", config=config, env={"JAVA_HOME": self.prefix.winpath(str(home.path))})

    def test_openjdk_line_through_a_variable_is_chosen_only_under_modern(self):
        home = homes.make_jre(self.root / "temurin17", self.fx, stderr=OPENJDK_17)
        exe = self.win(home.bin.java_exe)

        classic = self.search_variable(home, None, "1.8")  # no key: classic
        self.assertEqual(classic["kind"], "0")

        modern = self.search_variable(home, "modern", "1.8")
        self.assertEqual(modern["kind"], "3")
        self.assertEqual(modern["javaExe"], exe)
        self.assertEqual(self.cache_values(exe)["Version"], ("REG_SZ", "17.0.9"))

        # min-version 9 admits 17 as a number, not as text (the cached 17.0.9 now serves both).
        self.assertEqual(self.search_variable(home, "modern", "9")["kind"], "3")
        refused = self.search_variable(home, "classic", "9")
        self.assertEqual(refused["kind"], "0")
        self.assertEqual(home.runs(), 2)  # the classic probe that failed, the modern one

    def test_release_file_spares_every_run(self):
        home = homes.make_jre(self.root / "release17", self.fx, stderr=OPENJDK_17)
        release_file(home, "17.0.9")
        config = {"126": "1.8", "128": "B" + self.prefix.winpath(str(home.path)), "3100": "modern"}
        r = self.driver("search", config=config)
        self.assertEqual(r["kind"], "2")
        self.assertEqual(home.runs(), 0)  # the version came from the release file
        self.assertEqual(self.cache_values(self.win(home.bin.java_exe))["Version"], ("REG_SZ", "17.0.9"))

    def test_diagnose_explains_three_candidates_and_exits_by_the_outcome(self):
        old = homes.make_jre(self.root / "old", self.fx, "1.7.0_80")
        early = homes.make_jre(self.root / "early", self.fx, "21-ea")
        good = homes.make_jre(self.root / "good", self.fx, stderr=OPENJDK_17, jvm_subdir="server")
        env = {"OLD_HOME": old, "EA_HOME": early, "GOOD_HOME": good}
        env = {name: self.prefix.winpath(str(home.path)) for name, home in env.items()}
        project = ("[service]\nname = 'rules'\n[java]\nmain-class = 'a.B'\nclass-path = []\n"
                   "[jvm]\nsearch-sequence = ['EOLD_HOME', 'EEA_HOME', 'EGOOD_HOME']\nmin-version = '1.8'\n")
        exe = harness.pack(self.new_dir(self._testMethodName), project)

        found = self.prefix.run(exe, ["-diagnose"], env=env, timeout=120)
        self.assertEqual(found.rc, 0, repr(found))
        for home in (old, early, good):
            self.assertIn(self.win(home.bin.java_exe), found.stdout)
        self.assertIn("Chosen: " + self.win(good.bin.java_exe), found.stdout)
        self.assertIn("jvm.dll: " + self.win(good.bin.path) + "\\server\\jvm.dll", found.stdout)

        del env["GOOD_HOME"]
        none = self.prefix.run(exe, ["-diagnose"], env=env, timeout=120)
        self.assertEqual(none.rc, 1, repr(none))  # none chosen (the report's text: DiagnoseTest)
        self.prefix.reg_delete(CACHE_KEY)


if __name__ == "__main__":
    unittest.main()
