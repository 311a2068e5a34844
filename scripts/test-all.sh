#!/bin/bash
# Builds both presets and runs both test suites: the logic natively under
# the sanitizers, then the real program under Wine in a fresh prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh

cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host

cmake --preset windows >/dev/null
cmake --build --preset windows -j2
ctest --preset windows

# Each fuzz target for a bounded time over a copy of its seed corpus.
scripts/fuzz.sh
