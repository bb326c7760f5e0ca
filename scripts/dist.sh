#!/usr/bin/env bash
# Writes the release archive build/dist/kavrin-<version>.tar.gz: what a Java team
# downloads to use Kavrin without building it. Both presets must be built first
# (scripts/build.sh).
#
#   kavrin-<version>/bin/kavrin-pack          the builder for Linux
#   kavrin-<version>/bin/kavrin-pack.exe      the builder for Windows
#   kavrin-<version>/bin/kavrin-service.exe   the launcher stub, found beside the builder
#   kavrin-<version>/bin/kavrin-runtime.jar   the start classes, found beside the builder
#   kavrin-<version>/README.md, docs/          the documentation
#   kavrin-<version>/examples/hello-service/   the example project with its jar in lib/
#
# Usage: scripts/dist.sh [OUTPUT_DIRECTORY]   (default build/dist)
# KAVRIN_HOST_BIN and KAVRIN_WINDOWS_BIN name other build directories.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
host_bin="${KAVRIN_HOST_BIN:-$repo/build/host/bin}"
windows_bin="${KAVRIN_WINDOWS_BIN:-$repo/build/windows/bin}"
example_jar="$(dirname "$host_bin")/examples/hello-service.jar"
out_dir="${1:-$repo/build/dist}"

version="$(sed -n 's/^project(kavrin .*VERSION \([0-9.]*\)).*/\1/p' "$repo/CMakeLists.txt")"
[ -n "$version" ] || { echo "dist: no project version in CMakeLists.txt" >&2; exit 1; }

for file in "$host_bin/kavrin-pack" "$windows_bin/kavrin-pack.exe" "$windows_bin/kavrin-service.exe" \
            "$host_bin/kavrin-runtime.jar" "$example_jar"; do
    [ -f "$file" ] || { echo "dist: $file is missing; build both presets first (scripts/build.sh)" >&2; exit 1; }
done

name="kavrin-$version"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
root="$stage/$name"
mkdir -p "$root/bin" "$root/docs" "$root/examples/hello-service/lib"
install -m 755 "$host_bin/kavrin-pack" "$root/bin/"
install -m 644 "$windows_bin/kavrin-pack.exe" "$windows_bin/kavrin-service.exe" "$host_bin/kavrin-runtime.jar" "$root/bin/"
install -m 644 "$repo/README.md" "$root/"
install -m 644 "$repo"/docs/*.md "$root/docs/"
cp -R "$repo/examples/hello-service/." "$root/examples/hello-service/"
install -m 644 "$example_jar" "$root/examples/hello-service/lib/"

mkdir -p "$out_dir"
archive="$out_dir/$name.tar.gz"
tar -C "$stage" --owner=0 --group=0 --sort=name -czf "$archive.tmp" "$name"
mv "$archive.tmp" "$archive"
echo "dist: wrote $archive"
