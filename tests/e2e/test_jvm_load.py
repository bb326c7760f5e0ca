"""LoadDLL with the stand-in jvm.dll: the subdirectory order, PATH, the JVM home,
the development kit layout and the messages of a failed load."""
import unittest

import homes
from jvm_common import MESSAGES, JvmPrefixTest


class LoadDllTest(JvmPrefixTest):
    prefix_name = "jvm-load"

    def load(self, *args, config=None, **kw):
        c = dict(MESSAGES)
        c.update(config or {})
        return self.driver("load", *args, config=c, **kw)

    def test_client_library_after_hotspot(self):
        home = homes.make_jre(self.root / "jre6", self.fx, "1.6.0_03", jvm_subdir="client")
        bin_dir = self.win(home.bin.path)
        r = self.load(config={"126": "1.5", "128": "B" + self.prefix.winpath(str(home.path))})
        self.assertEqual(r["result"], "1", r.stderr)
        self.assertEqual(r["createJavaVM"], "set")
        hotspot = f"Trying {bin_dir}\\hotspot\\jvm.dll (exists 0)"
        client = f"Trying {bin_dir}\\client\\jvm.dll (exists 1)"
        self.assertIn(hotspot, r.log)
        self.assertIn(client, r.log)
        self.assertLess(r.log.index(hotspot), r.log.index(client))
        self.assertNotIn("\\server\\jvm.dll", r.log)
        self.assertTrue(r["PATH"].endswith(";" + bin_dir), r["PATH"])
        self.assertTrue(r["crtPATH"].endswith(";" + bin_dir), r["crtPATH"])
        self.assertEqual(r["jvmHome"], bin_dir + "\\..")
        self.assertEqual(r.stderr.strip(), "")

    def test_development_kit_loads_from_jre_bin_server(self):
        jdk = homes.make_jdk(self.root / "jdk6", self.fx, "1.6.0_03")
        jdk_bin = self.win(jdk.path / "bin")
        # Handed its bin\java.exe: bin has no library, so jre\bin\server is used.
        r = self.load("--location", jdk_bin + "\\java.exe", "--java-exe", "1")
        self.assertEqual(r["result"], "1", r.stderr)
        self.assertIn(f"Trying {jdk_bin}\\..\\jre\\bin\\server\\jvm.dll (exists 1)", r.log)
        self.assertTrue(r["PATH"].endswith(";" + jdk_bin + "\\..\\jre\\bin"), r["PATH"])
        self.assertEqual(r["jvmHome"], jdk_bin + "\\..")
        # Found by the search: the kit's own runtime is chosen.
        s = self.load(config={"128": "B" + self.prefix.winpath(str(jdk.path))})
        self.assertEqual(s["result"], "1", s.stderr)
        self.assertEqual(s["jvmHome"], self.win(jdk.path / "jre" / "bin") + "\\..")

    def test_home_without_a_library_shows_1004_then_1005(self):
        home = homes.make_jre(self.root / "nolib", self.fx, "1.6.0_03", jvm_subdir=None)
        location = self.prefix.winpath(str(home.path))
        r = self.load("--location", location, "--java-exe", "0", log=False)
        self.assertEqual(r["result"], "0")
        self.assertEqual(r["createJavaVM"], "none")
        self.assertEqual(r.stderr.replace("\r\n", "\n"),
                         f"The JVM found at {location} is damaged.\nThe JVM could not be started.\n")
        # PATH is as it was.
        self.assertNotIn(self.win(home.bin.path), r["PATH"].lower())

    def test_show_errors_false_shows_nothing(self):
        home = homes.make_jre(self.root / "nolib", self.fx, "1.6.0_03", jvm_subdir=None)
        r = self.load("--location", self.prefix.winpath(str(home.path)), "--java-exe", "0", "--quiet")
        self.assertEqual(r["result"], "0")
        self.assertIn("ERROR: Could not get DLL-Handle.", r.log)
        self.assertEqual(r.stderr.strip(), "")


if __name__ == "__main__":
    unittest.main()
