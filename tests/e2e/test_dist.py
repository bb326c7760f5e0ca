"""The release archive: scripts/dist.sh output unpacked in an empty directory packs
the example there with the builder alone (stub and start classes found beside it).
No Wine needed; it runs with the Wine layer because it needs both builds."""

import os
import subprocess
import tarfile
import tempfile
import unittest

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


class ReleaseArchive(unittest.TestCase):
    def test_unpacked_archive_packs_the_example_without_a_stub_option(self):
        with tempfile.TemporaryDirectory(prefix="kvr-dist-") as work:
            out = os.path.join(work, "dist")
            r = subprocess.run([os.path.join(REPO, "scripts", "dist.sh"), out], capture_output=True, text=True,
                               stdin=subprocess.DEVNULL, timeout=300)
            self.assertEqual(r.returncode, 0, r.stderr)
            (archive,) = os.listdir(out)
            self.assertRegex(archive, r"^kavrin-\d+\.\d+\.\d+\.tar\.gz$")
            top = archive[:-len(".tar.gz")]

            empty = os.path.join(work, "unpacked")
            os.mkdir(empty)
            with tarfile.open(os.path.join(out, archive)) as tar:
                names = set(tar.getnames())
                tar.extractall(empty)
            for name in ("bin/kavrin-pack", "bin/kavrin-pack.exe", "bin/kavrin-service.exe", "bin/kavrin-runtime.jar",
                         "README.md", "docs/user-guide.md", "docs/project-file.md",
                         "examples/hello-service/hello-service.toml", "examples/hello-service/lib/hello-service.jar"):
                self.assertIn(top + "/" + name, names)

            # From inside the unpacked tree, as a user would, with nothing but the builder's path.
            root = os.path.realpath(os.path.join(empty, top))
            example = os.path.join(root, "examples", "hello-service")
            r = subprocess.run([os.path.join(root, "bin", "kavrin-pack"), "build", "hello-service.toml"], cwd=example,
                               capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=120)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn("stub " + os.path.join(root, "bin", "kavrin-service.exe"), r.stdout)
            self.assertIn("1 included file(s)", r.stdout)  # the start classes from beside the builder
            with open(os.path.join(example, "hello-service.exe"), "rb") as packed, \
                    open(os.path.join(root, "bin", "kavrin-service.exe"), "rb") as stub:
                self.assertTrue(packed.read().startswith(stub.read()))


if __name__ == "__main__":
    unittest.main()
