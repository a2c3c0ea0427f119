#!/usr/bin/env bash
# Builds the image-hosting service (imagehost/) with the host compiler, runs its
# test suite, then fuzzes its multipart parser for a bounded time.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/imagehost"
fuzz_build="$root/build/imagehost-fuzz"
fuzz_seconds="${IMAGEHOST_FUZZ_SECONDS:-30}"

cmake -S "$root/imagehost" -B "$build" -G Ninja >/dev/null
cmake --build "$build"
(cd "$build" && ctest --output-on-failure -j2)

# Several instances on shared engines: real PostgreSQL, Swift's S3 layer and
# nginx, started once for the whole suite. An engine that cannot start fails the run.
echo "test-imagehost: shared engines (PostgreSQL, S3 on Swift, nginx)"
"$root/scripts/imagehost-engines.sh" bash -c '
    set -e
    IMAGEHOST_BINARY="$1/imagehost" "$1/shared_engines_test"
    # The HTTP contract once more, on the shared kinds (tests that look at
    # local files are for the local kind only).
    export IMAGEHOST_TEST_ENGINES=shared
    "$1/upload_roundtrip_test" --gtest_brief=1 --gtest_filter=-*ClientNameAndTypeAreNotTrusted:*HostileFileNames
    "$1/ranges_and_queries_test" --gtest_brief=1
' engines "$build"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "test-imagehost: clang++ not found, multipart fuzzing skipped" >&2
    exit 0
fi
CXX=clang++ cmake -S "$root/imagehost" -B "$fuzz_build" -G Ninja -DIMAGEHOST_FUZZ=ON >/dev/null
cmake --build "$fuzz_build"
mkdir -p "$fuzz_build/corpus"
# New inputs go to the build tree; the checked-in seeds (regressions included) are read only.
# The fuzzer's running commentary goes to a log; the summary (and on a finding
# the report) is what the test output shows.
fuzz_log="$fuzz_build/fuzz.log"
echo "test-imagehost: fuzzing the multipart parser for ${fuzz_seconds}s (log: $fuzz_log)"
if ! "$fuzz_build/multipart_fuzz" -max_total_time="$fuzz_seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$fuzz_build/" "$fuzz_build/corpus" "$root/imagehost/fuzz/corpus" \
    >"$fuzz_log" 2>&1; then
    tail -n 60 "$fuzz_log" >&2
    echo "test-imagehost: the multipart fuzzer found a fault (whole log: $fuzz_log)" >&2
    exit 1
fi
grep -E '^(Done |stat::number_of_executed_units|stat::peak_rss_mb|INFO: seed corpus)' "$fuzz_log" || true
echo "test-imagehost: multipart fuzzing ran ${fuzz_seconds}s without findings"
