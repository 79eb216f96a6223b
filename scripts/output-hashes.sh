#!/usr/bin/env bash
# Prints the SHA-256 of what zelpack writes for the example plug-in and for a generated one of
# every kind of file (archives at one and two jobs, each level of selection, the descriptor, the
# listing and the dry run), one "HASH  WHAT" line each. Run it before and after a
# change that must not change a byte, on both systems, and compare; tests/cli/output-hashes/ holds
# what they were before the packing run and the listing were restructured (a listing's order may
# differ between the systems; for these two plug-ins it does not):
#   scripts/output-hashes.sh build/bin/zelpack | diff tests/cli/output-hashes/linux.txt -
#   scripts/output-hashes.sh --wine build-windows/bin/zelpack.exe |
#     diff tests/cli/output-hashes/windows.txt -
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
run=()
if [[ ${1:-} == --wine ]]; then
  run=("$root/scripts/wine-run.sh")
  shift
fi
zelpack=$(realpath "${1:?usage: output-hashes.sh [--wine] ZELPACK}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC

# A plug-in with what the packer treats differently: build output, a map, an empty file, a file
# that deflate cannot shrink, a large compressible one, names outside ASCII, nested folders.
cp -r "$root/examples/demo-plugin" "$work/demo"
generated=$work/generated
mkdir -p "$generated/lib/deep/er" "$generated/Release" "$generated/资源"
printf '%s\n' '<vemplugin><property id="com.example.hashes" version="2.1" type="js"' \
  ' name="哈希"/></vemplugin>' >"$generated/com.example.hashes.xml"
: >"$generated/empty.txt"
head -c 300000 /dev/zero | tr '\0' 'z' >"$generated/lib/zeros.js"
python3 -c "import random,sys; r=random.Random(7); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(200000)))" \
  >"$generated/lib/deep/er/noise.bin"
seq 1 50000 >"$generated/资源/数字.txt"
printf 'x' >"$generated/Release/out.dll"
printf 'map' >"$generated/lib/app.js.map"
# The listing shows times: every file and folder gets the same one, whenever the copy is made.
find "$work/demo" "$generated" -exec touch -h -d @1700000000 {} +

hash() { sha256sum | cut -d' ' -f1; }
# In the folder itself, so that every path the output names is relative on both systems.
cd "$work"
for plugin in demo generated; do
  for jobs in 1 2; do
    "${run[@]}" "$zelpack" pack "$plugin" -o "$plugin-$jobs.zip" --jobs "$jobs" --quiet
    echo "$(hash <"$plugin-$jobs.zip")  $plugin: pack --jobs $jobs"
  done
  "${run[@]}" "$zelpack" pack "$plugin" --all -o "$plugin-all.zip" --quiet
  echo "$(hash <"$plugin-all.zip")  $plugin: pack --all"
  "${run[@]}" "$zelpack" pack "$plugin" --exclude '*.js' --include 'lib/**' -o "$plugin-p.zip" \
    --quiet
  echo "$(hash <"$plugin-p.zip")  $plugin: pack --exclude --include"
  config=$(find "$plugin" -maxdepth 1 -name 'com.*.xml' | head -n 1)
  echo "$("${run[@]}" "$zelpack" check "$config" | hash)  $plugin: check"
  echo "$("${run[@]}" "$zelpack" list "$plugin" | tr -d '\r' | hash)  $plugin: list"
  echo "$("${run[@]}" "$zelpack" pack "$plugin" --dry-run -o x.zip | tr -d '\r' | hash)  $plugin: pack --dry-run"
done
