#!/bin/bash
# Builds the fuzz targets with clang in a build folder of their own and runs them for about twice
# the given number of seconds in all (default 30), shared evenly, at least 10 s each. Exits
# non-zero when a target finds a crash, a leak or undefined behaviour; the input that did it is
# left in <build>/artifacts/.
#
#   fuzz/run.sh 30
#   VELMORA_FUZZ_BUILD_DIR=/tmp/fuzz fuzz/run.sh 600
set -euo pipefail
seconds=${1:-30}
src=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_FUZZ_BUILD_DIR:-$src/build-fuzz}

mkdir -p "$build"
cmake -S "$src" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
targets=(pdudecoder atline apirequest diskfiles smpppdu)
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

each=$(( 2 * seconds / ${#targets[@]} ))
if (( each < 10 )); then each=10; fi
mkdir -p "$build/artifacts"
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== fuzz_$target for ${each}s"
    "$build/fuzz/fuzz_$target" -max_total_time="$each" -max_len=2048 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$corpus" "$src/fuzz/corpus/$target"
done
echo "fuzzing: no finding"
