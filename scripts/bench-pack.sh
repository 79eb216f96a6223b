#!/usr/bin/env bash
# The packing benchmark (run by bench.sh): a plug-in folder of over a thousand files built from
# fixed places of a Debian system, packed by zelpack with one thread and with one per core,
# against libdeflate and zlib at level 8 compressing the same files in-process on one core, and
# the archive tools a user would pick instead, bsdtar (libarchive) and 7-Zip, at their default
# deflate settings. Then growth: the folder at 1, 4 and 16 times, and folder scans of 20,000 and
# 100,000 files. Wall times are the median of three runs; every figure of a table comes from the
# same run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bin=build/bin
work=build/bench-pack
rm -rf "$work"
mkdir -p "$work"

# plugin FOLDER: the corpus as a plug-in, its files in byte order of their source paths.
plugin() {
  local folder=$1
  mkdir -p "$folder"
  printf '%s\n' '<vemplugin><property id="com.example.bench" version="1.0" type="js"' \
    ' name="bench"/></vemplugin>' >"$folder/com.example.bench.xml"
  find /usr/include/c++/12 /usr/include/x86_64-linux-gnu/qt6/QtCore \
    /usr/include/x86_64-linux-gnu/qt6/QtWidgets /usr/share/icons/hicolor -type f -print0 2>/dev/null |
    LC_ALL=C sort -z | head -z -n 1600 |
    while IFS= read -r -d '' file; do
      mkdir -p "$folder/src$(dirname "$file")"
      cp "$file" "$folder/src$file"
    done
  for library in libQt6Core.so.6 libQt6Gui.so.6 libQt6Widgets.so.6 libxml2.so.2; do
    [[ -f /usr/lib/x86_64-linux-gnu/$library ]] && cp -L "/usr/lib/x86_64-linux-gnu/$library" "$folder/"
  done
}

# median3 COMMAND...: runs it three times; prints "SECONDS PEAK_KB" of the median run by time.
median3() {
  local runs=()
  for _ in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1
    runs+=("$(<"$work/time")")
  done
  printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p
}

folder=$work/plugin
plugin "$folder"
files=$(find "$folder" -type f | wc -l)
bytes=$(find "$folder" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
jobs=$(nproc)
echo "packing corpus: $files files, $bytes bytes ($(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 1e6}') MB)"

mb_per_s() { awk -v b="$bytes" -v s="$1" 'BEGIN {printf "%.1f", b / 1e6 / s}'; }
row() { printf '%-34s %9s %9s %12s %10s\n' "$@"; }
row "packing corpus" "seconds" "MB/s" "output bytes" "peak KB"
row "----------------------------------" "-------" "-------" "------------" "--------"
for j in 1 "$jobs"; do
  read -r seconds peak < <(median3 "$bin/zelpack" pack "$folder" -o "$work/zelpack.zip" --force --quiet --all --jobs "$j")
  row "zelpack pack --jobs $j" "$seconds" "$(mb_per_s "$seconds")" "$(stat -c %s "$work/zelpack.zip")" "$peak"
  [[ $j == 1 ]] && one=$seconds
  [[ $j != 1 ]] && many=$seconds
done
mapfile -d '' sources < <(find "$folder" -type f -print0 | LC_ALL=C sort -z)
while read -r name seconds in out; do
  row "$name in-process, 1 core" "$seconds" "$(mb_per_s "$seconds")" "$out" "-"
  [[ $name == libdeflate-8 ]] && libdeflate=$seconds
done < <("$bin/zelpack-pack-peers-bench" "${sources[@]}")
rm -f "$work/bsdtar.zip"
read -r seconds peak < <(median3 bash -c "rm -f '$work/bsdtar.zip'; cd '$work' && bsdtar --format zip -cf bsdtar.zip plugin")
row "bsdtar --format zip" "$seconds" "$(mb_per_s "$seconds")" "$(stat -c %s "$work/bsdtar.zip")" "$peak"
bsdtar_s=$seconds
read -r seconds peak < <(median3 bash -c "rm -f '$work/7z.zip'; cd '$work' && 7z a -tzip 7z.zip plugin")
row "7z a -tzip" "$seconds" "$(mb_per_s "$seconds")" "$(stat -c %s "$work/7z.zip")" "$peak"
sevenzip_s=$seconds
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
echo "ratios in this run: --jobs $jobs over --jobs 1 $(ratio "$one" "$many")x;" \
  "zelpack --jobs $jobs over libdeflate-8 $(ratio "$libdeflate" "$many")x," \
  "over bsdtar $(ratio "$bsdtar_s" "$many")x, over 7z $(ratio "$sevenzip_s" "$many")x"

# The flushes that make an archive reach the disk before it takes its name (fdatasync of the
# archive, then fsync of its folder), on this corpus and on a plug-in of a few files.
small=$work/small-plugin
mkdir -p "$small"
cp "$folder/com.example.bench.xml" "$small/"
find "$folder/src" -type f -name '*.png' | head -n 5 | xargs -I{} cp {} "$small/"
echo
echo "durability (flush before rename), median of 5, same run:"
for target in "$folder" "$small"; do
  result=$("$bin/zelpack-flush-bench" "$target" "$work/flush.zip")
  echo "  $(find "$target" -type f | wc -l) files:" $(echo "$result" | sed 's/ / /' | tr '\n' ' ') "s"
done
rm -rf "$small" "$work/flush.zip"

echo
row "growth (--jobs $jobs)" "seconds" "MB/s" "bytes in" "peak KB"
row "----------------------------------" "-------" "-------" "------------" "--------"
for times in 1 4 16; do
  grown=$work/grown-$times
  mkdir -p "$grown"
  cp "$folder/com.example.bench.xml" "$grown/"
  for ((copy = 0; copy < times; ++copy)); do
    mkdir -p "$grown/copy$copy"
    cp -al "$folder/src" "$grown/copy$copy/"
    for library in "$folder"/lib*; do ln "$library" "$grown/copy$copy/"; done
  done
  in=$(find "$grown" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
  read -r seconds peak < <(median3 "$bin/zelpack" pack "$grown" -o "$work/grown.zip" --force --quiet --all --jobs "$jobs")
  read -r _ one_peak < <(median3 "$bin/zelpack" pack "$grown" -o "$work/grown.zip" --force --quiet --all --jobs 1)
  row "$times x corpus ($(find "$grown" -type f | wc -l) files)" "$seconds" \
    "$(awk -v b="$in" -v s="$seconds" 'BEGIN {printf "%.1f", b / 1e6 / s}')" "$in" "$peak"
  echo "    (--jobs 1: peak $one_peak KB)"
  rm -rf "$grown" "$work/grown.zip"
done

echo
row "folder scan (zelpack list)" "seconds" "files/s" "" "peak KB"
row "----------------------------------" "-------" "-------" "" "--------"
for count in 20000 100000; do
  many_files=$work/files-$count
  mkdir -p "$many_files"
  (cd "$many_files" && seq -f 'd%03g' 0 99 | xargs mkdir -p &&
    seq 0 $((count - 1)) | awk '{printf "d%03d/f%06d.js\n", $1 % 100, $1}' | xargs touch)
  read -r seconds peak < <(median3 "$bin/zelpack" list "$many_files")
  row "$count files" "$seconds" "$(awk -v n="$count" -v s="$seconds" 'BEGIN {printf "%.0f", n / (s > 0 ? s : 0.001)}')" "" "$peak"
  if [[ -x $bin/zelpack-gui-bench ]]; then  # the desktop list, filled with the same folder
    QT_QPA_PLATFORM=offscreen "$bin/zelpack-gui-bench" "$many_files"
  fi
  rm -rf "$many_files"
done
