#!/usr/bin/env python3
"""Writes the seed corpus under tests/fuzz/corpus/<target>/ (run again after changing it)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
MAGIC = 0xE8E413D5


def pe_image(sections=((0x200, 0x200), (0x400, 0x200))):
    pe, opt_size = 0x80, 240
    img = bytearray(0x200)
    img[0:2] = b"MZ"
    struct.pack_into("<I", img, 60, pe)
    img[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HH", img, pe + 4, 0x8664, len(sections))
    struct.pack_into("<H", img, pe + 20, opt_size)
    struct.pack_into("<H", img, pe + 24, 0x20B)
    end = 0x200
    for i, (off, size) in enumerate(sections):
        h = pe + 24 + opt_size + 40 * i
        img[h:h + 5] = b".sec%d" % i
        struct.pack_into("<II", img, h + 16, size, off)
        end = max(end, off + size)
    img.extend(b"\0" * (end - len(img)))
    for off, size in sections:
        img[off:off + size] = b"\x90" * size
    return bytes(img)


def block(narrow=(), wide=(), narrow_count=None, wide_count=None):
    out = struct.pack("<Ii", MAGIC, len(narrow) if narrow_count is None else narrow_count)
    for key, value in narrow:
        out += struct.pack("<ii", key, len(value)) + value
    out += struct.pack("<i", len(wide) if wide_count is None else wide_count)
    for key, value in wide:
        raw = value.encode("utf-16-le")
        out += struct.pack("<ii", key, len(raw)) + raw
    return out


def included(content):
    return struct.pack("<q", len(content)) + bytes(b ^ 0xA7 for b in content)


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


pe = pe_image()
svc = [(101, b"mysvc"), (107, b"4"), (1007, b"Wrong Parameter Usage"), (1009, b"Internal error {0}")]
write("config_block", "empty", pe + block())
write("config_block", "service", pe + block(svc, [(20017, "A description")]))
write("config_block", "repeated-key", pe + block([(101, b"a"), (101, b"b")]))
write("config_block", "negative-counts", pe + block(narrow_count=-1, wide_count=-5))
write("config_block", "truncated", (pe + block(svc))[:-3])
write("config_block", "no-magic", pe + b"\0" * 16)
write("config_block", "unordered-sections", pe_image(((0x600, 0x200), (0x200, 0x200))) + b"\0" * 0 + block(svc))
files = [(2002, b"2"), (2003, b"a.txt;lib.jar")]
write("config_block", "included", pe + block(svc + files) + included(b"hello") + included(b"PK\3\4jar") + b"tail")
write("config_block", "included-empty", pe + block(svc + [(2002, b"2"), (2003, b"a;b")]) + included(b"") + included(b"x"))
write("config_block", "included-short", pe + block(svc + files) + included(b"hello")[:10])
write("config_block", "included-unsafe", pe + block(svc + [(2002, b"1"), (2003, b"..\\evil")]) + included(b"x"))

for name, text in {
    "plain": "server -J-Xmx1g start",
    "quotes": "\"C:\\Program Files\\x.exe\" 'it''s' \"\" ''",
    "joined": "ab\"c d\"ef gh",
    "mixed": "a'b\"c'd \"e'f\" g\th",
    "unterminated": "a \"b c",
    "spaces": "   a  b   ",
}.items():
    write("split_arguments", name, text)
write("split_arguments", "wide", b"\xff" + "a \u20ac\"b c\"".encode("utf-16-le"))

write("expand_variables", "launcher", "${launcher:sys.launcherDirectory}lib;%KAVRIN_TEMPDIR%\\x;${KAVRIN_JVM_HOME}\nC:\\Temp\\kvr1.tmp_dir5\nC:\\jre\\bin\\..")
write("expand_variables", "environment", "${HOME}/${home}/${Path}%PATH%\n\n\nHOME=C:\\Users\\me\nPath=C:\\Windows\n=C:=C:\\x\nNOEQUALS")
write("expand_variables", "self", "${A}${B}%MOLVEX_EXEDIR%\n${A}\n${B}\nA=${A}${B}\nB=${A}")
write("expand_variables", "plain", "no references at all\nx\ny\nX=1")

write("vm_options", "typical", "# comment\n-Xmx256m\r\n  -Dx=a b  \n\t-Dtab\n-classpath/a extra.jar\n-classpath/p pre.jar\n-classpath lib\\a.jar\n\n   \n-D${HOME}=%KAVRIN_EXEDIR%\n")
write("vm_options", "no-final-lf", "-Xrs")
write("vm_options", "long-line", "-D" + "x" * 9000 + "\n-Xss1m\n")
write("vm_options", "cr-only", "-Xa\r-Xb\r\r\n\r")

write("deletion_queue", "typical", "C:\\Q\\f1;C:\\Q\\held;C:\\Q\\gone\nC:\\Q\\d1;.\\rel;C:\\Q\\d2;C:\\Q\\d1\nfC:\\Q\\f1\nhC:\\Q\\held\ndC:\\Q\\d1\nfC:\\Q\\d1\\a\ndC:\\Q\\d2\\sub\nfC:\\Q\\d2\\sub\\x\nfC:\\Q\\keep")
write("deletion_queue", "dotdot", "C:\\Q\\a\\..\\b\nC:\\Q\\x\\..\\y\\\nfC:\\Q\\b\ndC:\\Q\\y\nfC:\\Q\\y\\z\nfC:\\Q\\other")
write("deletion_queue", "too-long", "!C:\\Q\\f;\nC:\\Q\\d\nfC:\\Q\\f\ndC:\\Q\\d")
write("deletion_queue", "empty", "\n")

write("project_file", "full", """[project]
defaults = true

[service]
name = "mysvc"
description = "A description"

[raw]
"107" = 4
"20000" = "x"

[raw-wide]
"20017" = "Wide text \u00e9"

[raw-hex]
"30000" = "00ff10"
""")
write("project_file", "bare", "[project]\ndefaults = false\n[raw]\n\"101\" = \"svc\"\n")
write("project_file", "files", "[files]\ninclude = [\"a.bin\", \"dir/b.jar\"]\n")
write("project_file", "bad", "[raw]\n\"abc\" = 1\n[unknown]\n")
write("project_file", "settings", """[service]
name = "svc"
dependencies = ["Tcpip", "Afd"]
[launcher]
type = 4
flavour = "m"
path-prepend = ["bin", "..\\\\lib"]
process-comm-file = true
[java]
main-class = "com.example.Main"
class-path = ["S0..\\\\lib", "A1x.jar", "D0lib", "E1VAR"]
vm-options = " -Xrs -Dx=\\"a b\\""
arguments = "-a 'b c'"
route-j-arguments = false
[jvm]
search-sequence = ["B..\\\\jre", "R..\\\\jre", "EJAVA_HOME", "Y", "S"]
min-version = "1.8"
max-version = "17.9"
[start-class]
pass-error-log = true
error-log = "${KAVRIN_EXEDIR}err.log"
[messages]
caption = "Oops"
""")
write("vm_options", "ctrl-z", "-Xa\r\n-Xb\x1a\r\n-Xignored\n")
