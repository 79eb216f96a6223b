#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/) with clang into build-fuzz/ and runs each one in turn
# from its seed corpus for ZELPACK_FUZZ_SECONDS seconds (default 30). Fails on any crash, leak,
# timeout or sanitizer report; a failing input is left in build-fuzz/fuzz-artifacts/.
# Installs nothing: scripts/setup.sh brings clang and the libraries.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-fuzz"
seconds=${ZELPACK_FUZZ_SECONDS:-30}

required=(clang libclang-rt-14-dev libarchive-dev zlib1g-dev libxml2-dev libcli11-dev
          cmake ninja-build pkg-config)
missing=()
for package in "${required[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  echo "zelpack fuzz: missing ${missing[*]}; run scripts/setup.sh first" >&2
  exit 1
fi

targets=(deflate_fuzzer zip_writer_fuzzer config_check_fuzzer)
werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
if [[ ! -f "$build/CMakeCache.txt" ]] || ! grep -q "ZELPACK_WERROR:BOOL=$werror" "$build/CMakeCache.txt"; then
  # Without NDEBUG, so that any assertion still fires under the fuzzer.
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
    -DZELPACK_FUZZ=ON -DZELPACK_BUILD_GUI=OFF -DZELPACK_BUILD_BENCH=OFF -DZELPACK_BUILD_TESTS=OFF \
    -DZELPACK_WERROR="$werror" >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"

# Per target: the options beyond the common ones.
declare -A options=(
  [deflate_fuzzer]="-max_len=65536"
  [zip_writer_fuzzer]="-max_len=4096"
  [config_check_fuzzer]="-max_len=4096 -dict=$root/tests/fuzz/config_check.dict"
)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Scratch files of the targets (and whatever a crash leaves of them) stay in the build folder.
export TMPDIR="$build/fuzz-tmp"
mkdir -p "$build/fuzz-logs" "$build/fuzz-artifacts" "$TMPDIR"
failed=()
for target in "${targets[@]}"; do
  # The corpus grows under the build folder, never in the repository.
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  cp "$root/tests/fuzz/${target%_fuzzer}_seeds/"* "$corpus/"
  log="$build/fuzz-logs/$target.log"
  echo "zelpack fuzz: $target for ${seconds}s"
  status=0
  # shellcheck disable=SC2086
  # A per-input timeout short enough that a slow input (work growing faster than its size) is a
  # finding, long enough for the sanitizers' own cost.
  "$build/fuzz/$target" ${options[$target]} -max_total_time="$seconds" -timeout=2 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$target-" \
    "$corpus" >"$log" 2>&1 || status=$?
  if ((status != 0)) || grep -qE 'ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:' "$log"; then
    failed+=("$target")
    echo "zelpack fuzz: $target FAILED (exit $status); the end of $log:" >&2
    tail -n 60 "$log" >&2
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "zelpack fuzz: $target passed: $runs executions, $rate/s"
done

if ((${#failed[@]})); then
  echo "zelpack fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "zelpack fuzz: all ${#targets[@]} targets passed"
