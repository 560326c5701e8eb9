#!/usr/bin/env bash
# Installs what is missing, starts the database servers the tests use, builds in build/ and runs
# the whole test suite with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --servers

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ -f .ci/databases.sh ]; then
    eval "$($SUDO bash .ci/databases.sh)"
fi

build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
