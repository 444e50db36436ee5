#!/usr/bin/env bash
# Builds and runs every test: the warnings-as-errors build with the whole
# suite and the benchmarks built, an ASan+UBSan build with the suite and the
# fuzzers (each run for a bounded time), a ThreadSanitizer build of the
# tests that cross threads, the Debian package (its own release build of
# the three programs, checked by lintian), and the Windows build (the core and
# orvana-cli.exe, its zip, and their tests under Wine, some of them beside
# the Linux programs of build/). Exits
# non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh --tests

jobs=$(nproc)
fuzz_seconds=${ORVANA_FUZZ_SECONDS:-20}

configure() {  # folder, then extra cmake arguments
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DORVANA_WERROR=ON "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
}

# ThreadSanitizer and ASan need address-space randomisation they can live
# with; newer kernels randomise more than clang 14's runtimes expect.
run_without_aslr() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    setarch "$(uname -m)" -R "$@"
  else
    "$@"
  fi
}

echo "== build: gcc, warnings as errors"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANA_BENCH=ON
cmake --build build -j "$jobs"
echo "== tests"
ctest --test-dir build -j "$jobs" --output-on-failure

echo "== build: clang, AddressSanitizer + UndefinedBehaviorSanitizer, fuzzers"
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORVANA_SANITIZE=address,undefined -DORVANA_FUZZ=ON
cmake --build build-asan -j "$jobs"
echo "== tests under ASan + UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_without_aslr ctest --test-dir build-asan -j "$jobs" --output-on-failure

echo "== fuzzing, ${fuzz_seconds}s per target"
for fuzzer in build-asan/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer"); name=${name#fuzz_}
  work=$(mktemp -d)
  ASAN_OPTIONS=detect_leaks=1 run_without_aslr "$fuzzer" -max_total_time="$fuzz_seconds" \
    -print_final_stats=0 "$work" "fuzz/corpus/$name" >"$work.log" 2>&1 ||
    { tail -50 "$work.log"; echo "fuzzer $name failed"; exit 1; }
  echo "fuzz_$name: $(grep -c . <(ls "$work")) new inputs, no crash"
  rm -rf "$work" "$work.log"
done

echo "== build: clang, ThreadSanitizer (tests that cross threads, and the programs end to end)"
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORVANA_SANITIZE=thread -DORVANA_GUI=OFF
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 run_without_aslr ctest --test-dir build-tsan -L 'threads|e2e|store' -j "$jobs" \
  --output-on-failure

echo "== Debian package"
bash scripts/package.sh

echo "== Windows: cross-built with mingw-w64, tests under Wine"
windows_started=$SECONDS
ORVANA_JOBS=$jobs bash scripts/windows.sh
ctest --test-dir build-windows -j "$jobs" --output-on-failure

echo "== Windows build and tests: $((SECONDS - windows_started)) s"

echo "== all tests passed"
