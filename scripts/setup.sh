#!/usr/bin/env bash
# Installs what the build needs (when missing), then configures and builds into build/.
# Sourced by run.sh and test.sh; safe to run again: it does only what changed.
# `setup.sh TARGET...` builds only those targets (run.sh: the programs, not the tests).
set -euo pipefail

ZELPACK_PACKAGES=(
  g++ cmake ninja-build pkg-config python3 ccache
  libxml2-dev libcli11-dev libgtest-dev libgmock-dev nlohmann-json3-dev
  zlib1g-dev libdeflate-dev
  qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei
  unzip p7zip-full libarchive-tools bsdutils
  clang libclang-rt-14-dev libarchive-dev
  qt6-translations-l10n
  dpkg-dev file desktop-file-utils
  pmccabe
)

missing=()
for package in "${ZELPACK_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    echo "zelpack: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "zelpack: missing packages; install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
fi
# `setup.sh packages`: the packages alone, for scripts that configure build folders of their own.
if [[ ${1:-} == packages ]]; then
  exit 0
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
if [[ ! -f "$build/CMakeCache.txt" ]] || ! grep -q "ZELPACK_WERROR:BOOL=$werror" "$build/CMakeCache.txt"; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELPACK_WERROR="$werror" >/dev/null
fi
targets=()
for target in "$@"; do
  targets+=(--target "$target")
done
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
