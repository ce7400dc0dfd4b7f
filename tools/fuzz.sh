#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on a fresh corpus.
# Usage: tools/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash tools/setup-debian.sh fuzz
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DQUILLWICK_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --target fuzz_search fuzz_decode
for target in fuzz_search fuzz_decode; do
    corpus=$(mktemp -d)
    echo "== $target for ${seconds}s"
    ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/$target" -max_total_time="$seconds" \
        -max_len=4096 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
    rm -rf "$corpus"
done
