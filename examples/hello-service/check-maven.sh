#!/usr/bin/env bash
# Builds a copy of the example with `mvn -o package` and the Kavrin Maven plugin,
# then checks what kavrin-pack inspect reads back from target/hello-service.exe,
# and that a bad project file fails the Maven build with the builder's message.
# Arguments: HOST_BIN (kavrin-pack, and ../maven-repo beside it) WINDOWS_BIN (the stub) WORKDIR
set -euo pipefail
host_bin=$(realpath "$1")
windows_bin=$(realpath "$2")
work="$3"
example=$(dirname "$(realpath "$0")")
repo="$host_bin/../maven-repo"
[ -f "$repo/com/kavrin/kavrin-maven-plugin/0.1.0/kavrin-maven-plugin-0.1.0.jar" ] ||
    { echo "no kavrin-maven-plugin in $repo: build the host preset with Maven installed"; exit 1; }

rm -rf "$work" && mkdir -p "$work"
cp -r "$example/pom.xml" "$example/hello-service.toml" "$example/src" "$work/"
mvn_package() {
    (cd "$work" && mvn -o -B package -Dmaven.repo.local="$repo" \
        -Dkavrin.executable="$host_bin/kavrin-pack" -Dkavrin.stub="$windows_bin/kavrin-service.exe")
}

mvn_package >"$work/mvn.log" 2>&1 || { cat "$work/mvn.log"; echo "FAILED: mvn -o package"; exit 1; }
"$host_bin/kavrin-pack" inspect "$work/target/hello-service.exe" >"$work/inspect.toml"
cat "$work/inspect.toml"
expect() { grep -qF -- "$1" "$2" || { echo "FAILED: expected in $2: $1"; exit 1; }; }
expect "name = 'HelloService'" "$work/inspect.toml"
expect "main-class = 'com.example.hello.HelloService'" "$work/inspect.toml"
# Debian's repository gives slf4j-simple's own dependency the version "debian".
expect "class-path = ['S1lib', 'A1lib\\hello-service.jar', 'A1lib\\slf4j-simple-1.7.32.jar', 'A1lib\\slf4j-api-debian.jar']" "$work/inspect.toml"
for jar in hello-service.jar slf4j-simple-1.7.32.jar slf4j-api-debian.jar; do
    [ -f "$work/target/lib/$jar" ] || { echo "FAILED: target/lib/$jar missing"; exit 1; }
done

# A mistake in the project file: the build fails and shows kavrin-pack's file:line: setting message.
sed -i 's/^min-version = .*/min-version = 18/' "$work/hello-service.toml"
line=$(grep -n '^min-version = 18' "$work/hello-service.toml" | cut -d: -f1)
if mvn_package >"$work/mvn-bad.log" 2>&1; then
    cat "$work/mvn-bad.log"; echo "FAILED: the build passed with a bad project file"; exit 1
fi
expect "hello-service.toml:$line: setting 'jvm.min-version': expected a string, got an integer" "$work/mvn-bad.log"
expect "BUILD FAILURE" "$work/mvn-bad.log"
echo "Maven example OK"
