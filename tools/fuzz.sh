#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time. Each target first
# replays its committed corpus, fuzz/corpus/<target>/ (earlier findings, kept as regression
# inputs), then fuzzes on. New inputs go to a scratch corpus and findings to an artifacts folder,
# both in the build folder, so a run never changes the checkout. Fails if any target finds a crash,
# a leak or a time-out; the artifact's path is printed.
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
failed=()
for target in fuzz_search fuzz_decode; do
    # libFuzzer adds what it finds to the first folder and only reads the others.
    scratch=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$scratch" "$artifacts"
    echo "== $target for ${seconds}s (corpus: fuzz/corpus/$target)"
    status=0
    ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/$target" -max_total_time="$seconds" \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$scratch" "fuzz/corpus/$target" >"$artifacts/log.txt" 2>&1 || status=$?
    tail -n 12 "$artifacts/log.txt"
    if [ "$status" -ne 0 ]; then
        echo "!! $target failed (exit $status); its input: $(ls -t "$artifacts"/crash-* \
            "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-* 2>/dev/null | head -n 1)"
        echo "   Keep it as a regression input: fuzz/corpus/$target/<what it found>"
        failed+=("$target")
    fi
done
if ((${#failed[@]})); then
    echo "fuzzing found failures in: ${failed[*]}" >&2
    exit 1
fi
