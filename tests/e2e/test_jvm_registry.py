"""Registered runtimes: the JavaSoft keys under HKLM and the located lists under
HKCU and HKLM, searched through a Y entry of the search sequence."""
import unittest

import homes
from jvm_common import JvmPrefixTest

JRE_KEY = r"HKLM\SOFTWARE\JavaSoft\Java Runtime Environment"
JDK_KEY = r"HKLM\SOFTWARE\JavaSoft\Java Development Kit"
LOCATED = r"SOFTWARE\dalvenco\kavrin\locatedjvms"


class RegistrySearchTest(JvmPrefixTest):
    prefix_name = "jvm-registry"

    def setUp(self):
        super().setUp()
        for key in (JRE_KEY, JDK_KEY, "HKCU\\" + LOCATED, "HKLM\\" + LOCATED):
            self.prefix.reg_delete(key)

    def register(self, family, version, home=None):
        key = family + "\\" + version
        self.prefix.reg_add(key)
        if home is not None:
            self.prefix.reg_add(key, "JavaHome", self.prefix.winpath(str(home.path)))

    def locate(self, root, home):
        name = self.win(home.bin.java_exe).replace("\\", "/")
        self.prefix.reg_add(root + "\\" + LOCATED + "\\" + name)

    def search(self, minimum="1.5"):
        return self.driver("search", config={"126": minimum, "128": "Y"})

    def test_current_version_of_the_jre_family(self):
        home = homes.make_jre(self.root / "jre6", self.fx, "1.6.0_03")
        self.prefix.reg_add(JRE_KEY, "CurrentVersion", "1.6")
        self.register(JRE_KEY, "1.6", home)
        r = self.search()
        self.assertEqual(r["kind"], "4")
        self.assertEqual(r["javaExe"], self.win(home.bin.java_exe))
        self.assertEqual(r["name"], "")

    def test_versions_tried_from_the_highest_in_range_down(self):
        old = homes.make_jre(self.root / "jre142", self.fx, "1.4.2_10")
        mid = homes.make_jre(self.root / "jre15", self.fx, "1.5.0_11")
        broken = homes.make_jre(self.root / "jre16", self.fx, "1.6.0_02", exit_code=1)
        self.prefix.reg_add(JRE_KEY, "CurrentVersion", "1.4")
        self.register(JRE_KEY, "1.4.2", old)
        self.register(JRE_KEY, "1.5.0_11", mid)
        self.register(JRE_KEY, "1.6.0_02", broken)
        r = self.search()
        self.assertEqual(r["javaExe"], self.win(mid.bin.java_exe))
        self.assertEqual(broken.runs(), 1)   # tried first, fails
        self.assertEqual(old.runs(), 0)      # dropped by its registry name, never run
        log = r.log.lower()  # the log names the path as JavaHome spells it
        self.assertLess(log.index(self.win(broken.bin.java_exe)), log.index(self.win(mid.bin.java_exe)))

    def test_located_lists_machine_wins_a_tie_and_located_beats_javasoft_on_a_tie(self):
        user = homes.make_jre(self.root / "user", self.fx, "1.6.0_10")
        machine = homes.make_jre(self.root / "machine", self.fx, "1.6.0_10")
        javasoft = homes.make_jre(self.root / "javasoft", self.fx, "1.6.0_10")
        self.prefix.reg_add(JRE_KEY, "CurrentVersion", "1.6")
        self.register(JRE_KEY, "1.6", javasoft)
        self.locate("HKCU", user)
        self.locate("HKLM", machine)
        r = self.search()
        self.assertEqual(r["kind"], "4")
        self.assertEqual(r["javaExe"], self.win(machine.bin.java_exe))
        # Both lists are probed in full.
        self.assertEqual(user.runs(), 1)
        self.assertEqual(javasoft.runs(), 1)

    def test_higher_user_entry_beats_the_machine_list(self):
        user = homes.make_jre(self.root / "user", self.fx, "1.6.0_20")
        machine = homes.make_jre(self.root / "machine", self.fx, "1.6.0_10")
        self.locate("HKCU", user)
        self.locate("HKLM", machine)
        r = self.search()
        self.assertEqual(r["javaExe"], self.win(user.bin.java_exe))

    def test_nothing_registered_finds_nothing(self):
        r = self.search()
        self.assertEqual(r["kind"], "0")


if __name__ == "__main__":
    unittest.main()
