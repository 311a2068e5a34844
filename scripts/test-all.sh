#!/bin/bash
# Builds and runs every test: each fuzz target for a bounded time, then the
# logic natively under the sanitizers, then the real program under Wine in a
# fresh prefix. The two ctest summaries come last.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh

# Each fuzz target for a bounded time over a copy of its seed corpus.
scripts/fuzz.sh

cmake --preset host >/dev/null
cmake --build --preset host -j2
cmake --preset windows >/dev/null
cmake --build --preset windows -j2

ctest --preset host
ctest --preset windows
