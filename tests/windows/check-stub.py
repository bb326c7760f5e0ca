#!/usr/bin/env python3
"""Checks the launcher stub: it imports only system DLLs (static C++ runtime),
carries no COFF symbol table (it is stripped, so the configuration block can
follow the last section directly), and has its icon group and manifest.

    check-stub.py OBJDUMP STUB.exe
"""
import re
import struct
import subprocess
import sys

# user32 is missing on purpose: the stub loads it only to show a message box.
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll", "ucrtbase.dll"}


def imports(objdump, exe):
    text = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    return re.findall(r"DLL Name: (\S+)", text)


def symbol_table(exe):
    with open(exe, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit("not a PE image: %s" % exe)
    pointer, count = struct.unpack_from("<II", data, pe + 4 + 8)
    return pointer, count


RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
MANIFEST_TOKENS = [b'level="asInvoker"', b'uiAccess="false"', b'name="Microsoft.Windows.Common-Controls"',
                   b'version="6.0.0.0"', b'processorArchitecture="amd64"', b'publicKeyToken="6595b64144ccf1df"']


def resource_types(exe):
    """The type IDs at the root of the resource directory."""
    with open(exe, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    for i in range(sections):
        name, _, _, _, raw_pointer = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            named, ids = struct.unpack_from("<HH", data, raw_pointer + 12)
            entries = raw_pointer + 16
            return {struct.unpack_from("<I", data, entries + 8 * k)[0] for k in range(named, named + ids)}, data
    return set(), data


def main(objdump, exe):
    failures = []
    dlls = imports(objdump, exe)
    if not dlls:
        failures.append("no imports found")
    for dll in dlls:
        lower = dll.lower()
        if lower not in SYSTEM_DLLS and not lower.startswith("api-ms-win-"):
            failures.append("imports a non-system DLL: %s" % dll)
    pointer, count = symbol_table(exe)
    if pointer or count:
        failures.append("COFF symbol table present (PointerToSymbolTable=%#x, NumberOfSymbols=%d)" % (pointer, count))
    types, data = resource_types(exe)
    for wanted, label in ((RT_GROUP_ICON, "icon group"), (RT_ICON, "icon"), (RT_MANIFEST, "manifest")):
        if wanted not in types:
            failures.append("no %s resource" % label)
    for token in MANIFEST_TOKENS:
        if token not in data:
            failures.append("manifest lacks %s" % token.decode())
    print("imports: %s" % ", ".join(dlls))
    print("resource types: %s" % sorted(types))
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
