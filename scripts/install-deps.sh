#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping those
# already present. Non-interactive; run as root or with sudo available.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ python3
    g++-mingw-w64-x86-64-posix
    wine wine64
    openjdk-17-jdk-headless
    googletest libtomlplusplus-dev libcli11-dev
    osslsigncode openssl
    wixl msitools
    clang libclang-rt-14-dev
    # The Maven plugin and the example's Maven build, offline from /usr/share/maven-repo.
    maven maven-debian-helper libmaven-plugin-tools-java libmaven3-core-java
    libmaven-install-plugin-java junit4 libslf4j-java
)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for pkg in "${PACKAGES[@]}"; do
    installed "$pkg" || missing+=("$pkg")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

"${SUDO[@]}" apt-get update -q
echo "install-deps: installing ${missing[*]}"
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
