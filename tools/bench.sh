#!/usr/bin/env bash
# Builds Quillwick (release) and prints the benchmark table.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh linux
cmake --preset release >/dev/null
cmake --build --preset release --target quillwick_bench
# With --decoding, only the decoder's figures (for comparing two builds).
exec ./build/release/bench/quillwick_bench "$@"
