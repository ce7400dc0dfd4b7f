#!/usr/bin/env bash
# Builds Quillwick (release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh linux
cmake --preset release >/dev/null
cmake --build --preset release --target Quillwick
exec ./build/release/src/Quillwick "$@"
