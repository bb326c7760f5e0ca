#!/usr/bin/env python3
"""Makes a writable Maven local repository that offers Debian's packaged
artifacts: every version directory of /usr/share/maven-repo becomes a symbolic
link, so Maven resolves them offline, and `mvn install` can add the Kavrin
plugin beside them without writing under /usr/share.

Usage: local-repo.py DEST [SOURCE]   (SOURCE defaults to /usr/share/maven-repo)
Links that exist already are kept; run it again after installing packages.
"""
import os
import sys


def main():
    dest = sys.argv[1]
    source = sys.argv[2] if len(sys.argv) > 2 else "/usr/share/maven-repo"
    if not os.path.isdir(source):
        sys.exit(f"local-repo.py: {source} does not exist; install Debian's maven packages (scripts/install-deps.sh)")
    linked = 0
    for directory, subdirectories, files in os.walk(source, followlinks=True):
        # A version directory holds the artifact's POM.
        if not any(name.endswith(".pom") for name in files):
            continue
        subdirectories.clear()
        target = os.path.join(dest, os.path.relpath(directory, source))
        if os.path.lexists(target):
            continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        os.symlink(directory, target)
        linked += 1
    print(f"local-repo.py: {dest}: {linked} new artifact version(s) linked from {source}")


if __name__ == "__main__":
    main()
