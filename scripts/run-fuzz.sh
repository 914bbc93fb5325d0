#!/usr/bin/env bash
# Builds every libFuzzer harness of tests/fuzz (one per *_fuzz.cpp, so a new harness needs no
# edit here) with clang and the sanitizers, and runs each for FUZZ_SECONDS on a copy of its
# corpus tests/fuzz/corpus/<harness>/ kept in the build folder: the source tree is never written.
# A crash, a leak, undefined behaviour or a hang fails the run; the input that caused it is left
# in BUILD/artifacts/. Without clang and libFuzzer it says so and does nothing.
#
# Usage: scripts/run-fuzz.sh
#   FUZZ_SECONDS=N   time per harness (default 20)
#   FUZZ_MERGE=1     afterwards, add the inputs that reached new code to tests/fuzz/corpus
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
seconds=${FUZZ_SECONDS:-20}

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz: skipped, clang++ with libFuzzer is not installed (scripts/install-deps.sh native)"
  exit 0
fi

cd "$root"
cmake --preset fuzz >/dev/null
harnesses=()
for source in tests/fuzz/*_fuzz.cpp; do harnesses+=("$(basename "$source" .cpp)"); done
cmake --build --preset fuzz --target "${harnesses[@]/#/wsmon_}"

rm -rf "$build/artifacts"
mkdir -p "$build/artifacts"
failed=0
for name in "${harnesses[@]}"; do
  corpus=$build/corpus/$name
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if [ -d "tests/fuzz/corpus/$name" ]; then cp -r "tests/fuzz/corpus/$name/." "$corpus/"; fi
  log=$build/$name.log
  status=0
  "$build/tests/fuzz/wsmon_$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-" "$corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 40 "$log"
    echo "FAIL $name (status $status; the input is in $build/artifacts/)"
  else
    echo "PASS $name: ${runs:-?} runs in $seconds s, corpus $(ls "$corpus" | wc -l) inputs"
  fi
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    mkdir -p "tests/fuzz/corpus/$name"
    "$build/tests/fuzz/wsmon_$name" -merge=1 "tests/fuzz/corpus/$name" "$corpus" >/dev/null 2>&1
  fi
done
exit "$failed"
