"""Code signing after packing: the certificate table lands at the end of the file,
after the configuration block and the carried files, and the launcher still finds
its block from the section table. A signed stub is refused by the builder."""

import os
import shutil
import subprocess
import unittest

import harness

PROJECT = """
[project]
defaults = false
[raw]
"101" = "kvrsigned"
"107" = 4
[raw-wide]
"20017" = "Signed after packing"
[files]
include = ["payload.bin"]
"""

PAYLOAD = bytes(range(256)) * 40


def sign(work, source, target):
    key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=Kavrin e2e"], check=True, capture_output=True)
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", source, "-out", target],
                   check=True, capture_output=True)
    return target


def security_directory(path):
    """(offset, size) of the certificate table of a PE32+ image."""
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = int.from_bytes(data[60:64], "little")
    entry = pe + 24 + 144
    return int.from_bytes(data[entry:entry + 4], "little"), int.from_bytes(data[entry + 4:entry + 8], "little")


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"), "osslsigncode or openssl missing")
class SigningTest(harness.PrefixTest):
    prefix_name = "sign"

    def test_a_signed_executable_reads_its_block(self):
        packed = harness.pack(self.work, PROJECT, name="plain.exe", extra_files={"payload.bin": PAYLOAD})
        signed = sign(self.work, packed, os.path.join(self.work, "signed.exe"))
        offset, size = security_directory(signed)
        self.assertGreaterEqual(offset, os.path.getsize(packed), "the certificate follows the carried files")
        self.assertGreater(size, 0)

        # The service name and the description come from the block.
        self.verb(signed, "-install-demand")
        key = harness.SERVICES_KEY + "kvrsigned"
        self.assertEqual(self.prefix.reg_query(key, "Description"), "Signed after packing")
        self.assertIn("signed.exe", self.prefix.reg_query(key, "ImagePath").lower())
        self.verb(signed, "-uninstall")
        self.wait_for_state("kvrsigned", None)

        # The carried files are read back as they were packed.
        inspected = subprocess.run([harness.BUILDER, "inspect", signed, "--extract", os.path.join(self.work, "x")],
                                   capture_output=True)
        self.assertEqual(inspected.returncode, 0, inspected.stderr)
        with open(os.path.join(self.work, "x", "payload.bin"), "rb") as f:
            self.assertEqual(f.read(), PAYLOAD)

    def test_a_signed_stub_is_refused(self):
        stub = sign(self.work, harness.STUB, os.path.join(self.work, "signed-stub.exe"))
        project = os.path.join(self.work, "refused.toml")
        with open(project, "w") as f:
            f.write('[project]\ndefaults = false\n[raw]\n"101" = "x"\n')
        output = os.path.join(self.work, "refused.exe")
        result = subprocess.run([harness.BUILDER, "build", project, "-o", output, "--stub", stub], capture_output=True)
        self.assertEqual(result.returncode, 1, result.stderr)  # the message: PackStubTest
        self.assertFalse(os.path.exists(output))


if __name__ == "__main__":
    unittest.main()
