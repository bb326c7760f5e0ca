"""Java home layouts built from the stand-in runtime, for the Wine tests.

    fx = Fixtures.from_dir(fixtures_dir)           # build/windows/bin/fixtures
    home = make_jre(tmp / "jre6", fx, version="1.6.0_03")
    home.runs()                                    # how often its java.exe ran
    make_jdk(tmp / "jdk6", fx)                     # bin\\java.exe, jre\\bin\\java.exe, jre\\bin\\server\\jvm.dll
    make_packed_jre(tmp / "packed", fx)            # lib\\rt.jar.pack and friends, bin\\unpack200.exe
"""
import os
import shutil
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

CONFIG = "java-stand-in.cfg"
RUNS = "java-runs.txt"
ARGS = "java-args.txt"


@dataclass
class Fixtures:
    java_exe: Path
    jvm_dll: Path
    unpack200_exe: Path

    @staticmethod
    def from_dir(directory) -> "Fixtures":
        """The stand-ins as the windows preset builds them (build/windows/bin/fixtures)."""
        d = Path(directory)
        return Fixtures(d / "java.exe", d / "jvm.dll", d / "unpack200.exe")


def version_output(version: str) -> str:
    """What a runtime's java -version writes first, with Windows line ends."""
    return f'java version "{version}"\r\nJava(TM) SE Runtime Environment\r\n'


@dataclass
class Bin:
    """One bin directory holding the stand-in java.exe."""
    path: Path

    @property
    def java_exe(self) -> Path:
        return self.path / "java.exe"

    def configure(self, stderr: str, exit_code: int = 0, delay_ms: int = 0):
        (self.path / CONFIG).write_bytes(f"{exit_code}\n{delay_ms}\n".encode() + stderr.encode("latin-1"))

    def runs(self) -> int:
        f = self.path / RUNS
        return int(f.read_text().strip() or 0) if f.exists() else 0

    def command_lines(self):
        f = self.path / ARGS
        return f.read_text().splitlines() if f.exists() else []

    def touch(self):
        """A new last-write time, two seconds later than the current one."""
        st = self.java_exe.stat()
        os.utime(self.java_exe, ns=(st.st_atime_ns, st.st_mtime_ns + 2_000_000_000))


@dataclass
class Home:
    path: Path
    bin: Bin  # the bin directory whose java.exe the launcher is expected to pick

    def runs(self) -> int:
        return self.bin.runs()


def make_bin(path: Path, fx: Fixtures, version: Optional[str], stderr: Optional[str] = None,
             exit_code: int = 0, delay_ms: int = 0, jvm_subdir: Optional[str] = None,
             javaw: bool = False) -> Bin:
    path.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(fx.java_exe, path / "java.exe")
    if javaw:
        shutil.copyfile(fx.java_exe, path / "javaw.exe")
    b = Bin(path)
    b.configure(stderr if stderr is not None else version_output(version or ""), exit_code, delay_ms)
    if jvm_subdir:
        (path / jvm_subdir).mkdir(exist_ok=True)
        shutil.copyfile(fx.jvm_dll, path / jvm_subdir / "jvm.dll")
    return b


def make_jre(root, fx: Fixtures, version: str = "1.6.0_03", jvm_subdir: Optional[str] = "client",
             **kw) -> Home:
    """A plain runtime: bin\\java.exe and bin\\<jvm_subdir>\\jvm.dll (None: no library)."""
    root = Path(root)
    return Home(root, make_bin(root / "bin", fx, version, jvm_subdir=jvm_subdir, **kw))


def make_jdk(root, fx: Fixtures, version: str = "1.6.0_03", tools_jar: bool = True, **kw) -> Home:
    """A development kit: bin\\java.exe without a library of its own, and the embedded
    runtime jre\\bin\\java.exe with jre\\bin\\server\\jvm.dll."""
    root = Path(root)
    make_bin(root / "bin", fx, version, jvm_subdir=None, **kw)
    jre_bin = make_bin(root / "jre" / "bin", fx, version, jvm_subdir="server", **kw)
    if tools_jar:
        (root / "lib").mkdir(parents=True, exist_ok=True)
        (root / "lib" / "tools.jar").write_bytes(b"PK\x05\x06" + b"\0" * 18)
    return Home(root, jre_bin)


PACKED_ARCHIVES = ["lib/rt.jar", "lib/charsets.jar", "lib/plugin.jar", "lib/deploy.jar",
                   "lib/ext/localedata.jar", "lib/jsse.jar"]


def make_packed_jre(root, fx: Fixtures, version: str = "1.6.0_03", **kw) -> Home:
    """A runtime shipped with packed archives and its own bin\\unpack200.exe."""
    home = make_jre(root, fx, version, **kw)
    shutil.copyfile(fx.unpack200_exe, home.path / "bin" / "unpack200.exe")
    for archive in PACKED_ARCHIVES:
        packed = home.path / (archive + ".pack")
        packed.parent.mkdir(parents=True, exist_ok=True)
        packed.write_bytes(b"packed " + archive.encode())
    return home
