#!/usr/bin/env bash
# Builds a deterministic corpus from fixed places of a Debian system and runs the compressor
# benchmark on it: zelpack against zlib and libdeflate at level 8, outputs checked by inflation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh >/dev/null

# The corpus draws on these packages; install them where possible so that it is the same
# everywhere.
for package in iso-codes shared-mime-info; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    if [[ $(id -u) -eq 0 ]]; then
      apt-get install -y -qq "$package" >/dev/null
    else
      echo "bench: $package is missing; the corpus will be smaller" >&2
    fi
  fi
done

corpus=build/bench-corpus
rm -rf "$corpus"
mkdir -p "$corpus"

# collect NAME MAX_BYTES FIND_ARGS...: the matching files, in byte order of their paths, joined
# and cut at MAX_BYTES.
collect() {
  local name=$1 cap=$2
  shift 2
  find "$@" -type f -print0 2>/dev/null | LC_ALL=C sort -z | xargs -0 -r cat | head -c "$cap" >"$corpus/$name" || true
  if [[ ! -s "$corpus/$name" ]]; then
    echo "bench: nothing found for $name, left out" >&2
    rm -f "$corpus/$name"
  fi
}

collect cxx-headers.txt 8000000 /usr/include/c++/12
collect cmake-modules.txt 3000000 /usr/share/cmake-3.25/Modules -name '*.cmake'
collect iso-codes.json 4000000 /usr/share/iso-codes/json -name '*.json'
collect cmake.json 600000 /usr/share/cmake-3.25 -name '*.json'
collect mime-iso.xml 3000000 /usr/share/mime/packages /usr/share/xml/iso-codes -name '*.xml'
collect images.png 3000000 /usr/share/doc /usr/share/icons -name '*.png'
cp /usr/lib/x86_64-linux-gnu/libstdc++.so.6.0.30 "$corpus/libstdc++.so" 2>/dev/null || true
cp /usr/lib/x86_64-linux-gnu/libxml2.so.2.9.14 "$corpus/libxml2.so" 2>/dev/null || true

total=$(cat "$corpus"/* | wc -c)
echo "corpus: $(ls "$corpus" | wc -l) files, $total bytes, sha256 $(cat "$corpus"/* | sha256sum | cut -c1-16)"
build/bin/zelpack-deflate-bench "$corpus"/*

# An instruction count of compressing a fixed input (the first 4 MB of the text corpus at level
# 8): a figure that stays put on a noisy machine, unlike the timings.
if command -v valgrind >/dev/null; then
  head -c 4000000 "$corpus/cxx-headers.txt" >build/bench-fixed.txt
  instructions=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null build/bin/zelpack-deflate \
    --level 8 <build/bench-fixed.txt 2>&1 >/dev/null | sed -n 's/.*Collected : //p')
  echo "instructions (callgrind, 4 MB of C++ headers at level 8): $instructions"
fi

echo
bash scripts/bench-pack.sh
