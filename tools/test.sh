#!/usr/bin/env bash
# Builds Quillwick (debug) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh linux
cmake --preset debug >/dev/null
cmake --build --preset debug
ctest --preset debug
