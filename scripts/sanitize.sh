#!/usr/bin/env bash
# The test suite under sanitizers: all of it with AddressSanitizer (LeakSanitizer included) and
# UndefinedBehaviorSanitizer in build-asan/, the tests marked THREADED with ThreadSanitizer in
# build-tsan/. Run by test.sh after the main build's tests; runs alone too. Arguments go to ctest
# (e.g. -R CompresInfoDlgTest). Any report fails its test, and so the run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh" packages
werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Also for the builds, which run each test binary to list its tests. A report exits with 66, a
# code none of our programs uses, so that the script tests expecting a failure tell them apart.
export ASAN_OPTIONS=exitcode=66:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=exitcode=66:print_stacktrace=1
suppressions="$root/scripts/sanitizers"
export TSAN_OPTIONS="exitcode=66:second_deadlock_stack=1:suppressions=$suppressions/tsan.supp"

# build FOLDER SANITIZERS [TARGET]: configures (cheap when nothing changed) and builds, without
# the benchmarks.
build() {
  cmake -S "$root" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELPACK_WERROR="$werror" \
    -DZELPACK_SANITIZE="$2" -DZELPACK_BUILD_BENCH=OFF >/dev/null
  cmake --build "$1" --parallel "$jobs" ${3:+--target "$3"}
}

# run_tests FOLDER CTEST-ARGS...: a hang fails its test rather than stalling the run; no test
# comes near the limit, sanitized or not.
run_tests() {
  ctest --test-dir "$1" --output-on-failure --parallel "$jobs" --timeout 900 "${@:2}"
}

echo "== AddressSanitizer and UndefinedBehaviorSanitizer: the whole suite (build-asan/)"
build "$root/build-asan" address,undefined
run_tests "$root/build-asan" "$@"

echo "== ThreadSanitizer: the threaded tests (build-tsan/)"
build "$root/build-tsan" thread zelpack_threaded_tests
run_tests "$root/build-tsan" --label-regex '^threaded$' "$@"
