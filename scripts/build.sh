#!/usr/bin/env bash
# Builds everything (the Linux host tools and the Windows cross build) and packs
# the example service into build/examples/hello-service.exe, then shows what it carries.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-2}"

scripts/install-deps.sh

cmake --preset host
cmake --build --preset host -j"$jobs"
cmake --preset windows
cmake --build --preset windows -j"$jobs"

# The example expects its jar in lib\ beside the executable (class path 'S1lib').
mkdir -p build/examples/lib
cp build/host/examples/hello-service.jar build/examples/lib/
build/host/bin/kavrin-pack build examples/hello-service/hello-service.toml \
    -o build/examples/hello-service.exe --stub build/windows/bin/kavrin-service.exe
echo
build/host/bin/kavrin-pack inspect build/examples/hello-service.exe
