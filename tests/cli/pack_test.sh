#!/usr/bin/env bash
# zelpack pack end to end: generated plug-in folders are packed, every archive is accepted by
# Python's zipfile, unzip -t, 7z t and bsdtar, extracts to exactly the selected files byte for
# byte, and holds the descriptor that zelpack check writes. A signal cancels a run cleanly. check
# -o replaces a regular file only.
set -euo pipefail
zelpack=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
export TMPDIR=$scratch/tmp
mkdir "$TMPDIR"

fail() { echo "FAIL: $*" >&2; exit 1; }

python3 - <<'PY'
import gzip, io, os, random, zipfile
rng = random.Random(5)
config = ('<?xml version="1.0" encoding="UTF-8"?>\n<vemplugin>\n'
          '  <property id="com.example.big" version="2.1" type="js" name="大插件"/>\n</vemplugin>\n')

def write(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

# One plug-in with much of what a real one holds.
p = b"plugins/big"
write(p + b"/com.example.big.xml", config.encode())
write(p + b"/main.js", b"console.log('main');\n" * 2000)
write(p + b"/empty.txt", b"")
write(p + b"/a/b/c/d/deep.txt", b"deep\n")
write(p + b"/images/logo.png", bytes(rng.getrandbits(8) for _ in range(50_000)))
write(p + b"/data/big.bin", bytes(rng.getrandbits(8) for _ in range(3_000_000)))
write(p + b"/data/text.log", b"".join(b"entry %d\n" % i for i in range(400_000)))
write(p + b"/vendor/fonts.gz", gzip.compress(b"already compressed " * 5000))
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w") as z:
    z.writestr("inner.txt", "inside")
write(p + b"/vendor/bundle.zip", buffer.getvalue())
write(p + "/中文 目录/说明 文件.txt".encode(), "中文内容\n".encode())
write(p + b"/odd name with spaces & (parens) #1.txt", b"odd")
write(p + b"/latin1-\xe9t\xe9.txt", b"not UTF-8 in the name")
write(p + b"/Debug/out.map", b"build output")
write(p + b"/.hidden/secret", b"never packed")

# A plug-in whose configuration lies in a sub-folder.
q = b"plugins/nested"
write(q + b"/conf/org.example.nested.xml",
      b'<vemplugin><property id="org.example.nested" version="1" type="t" name="n"/></vemplugin>')
write(q + b"/index.html", b"<html></html>")
PY

# verify FOLDER ARCHIVE: readers accept it; its entries are the descriptor then exactly the files
# `zelpack list` ticks, in that order, with their bytes; the descriptor is what check writes.
verify() {
  local folder=$1 archive=$2
  unzip -t "$archive" >/dev/null || fail "unzip -t $archive"
  7z t "$archive" >/dev/null || fail "7z t $archive"
  bsdtar -xOf "$archive" >/dev/null || fail "bsdtar $archive"
  # The archive itself, when it lies in the folder, is never part of the selection.
  local own=${archive#"$folder"/}
  "$zelpack" list "$folder" | awk -F'\t' -v own="$own" '$1 == "[x]" && $2 != own { print $2 }' \
    >selected.txt
  config=$(grep -E '^[^.]*\.[^.]*\.[^.]*\.xml$' selected.txt | head -1)
  "$zelpack" check "$folder/$config" -o descriptor.xml
  python3 - "$folder" "$archive" selected.txt descriptor.xml <<'PY' || fail "contents of $archive"
import os, sys, zipfile
folder, archive, selected, descriptor = sys.argv[1:]
name = os.path.basename(folder.rstrip("/"))
paths = [os.fsencode(line) for line in open(selected, encoding="utf-8", errors="surrogateescape")
         .read().splitlines()]
with zipfile.ZipFile(archive) as z:
    assert z.testzip() is None
    infos = z.infolist()
    raw = [i.filename.encode("utf-8") if i.flag_bits & 0x800 else i.filename.encode("cp437")
           for i in infos]
    want = [b"zelPluginInfo.xml"] + [os.fsencode(name) + b"/" + p for p in paths]
    assert raw == want, (raw, want)
    assert z.read(infos[0]) == open(descriptor, "rb").read(), "descriptor"
    for info, path in zip(infos[1:], paths):
        with open(os.path.join(os.fsencode(folder), path), "rb") as f:
            assert z.read(info) == f.read(), path
        stored = path.endswith((b".gz", b".zip"))
        assert info.compress_type == (0 if stored else 8), path
PY
}

"$zelpack" pack plugins/big >summary.txt
grep -q "已打包 $scratch/plugins/big/big.zip：" summary.txt || fail "summary: $(cat summary.txt)"
verify plugins/big plugins/big/big.zip
[[ -z $(ls -A "$TMPDIR") ]] || fail "temporary files left: $(ls -A "$TMPDIR")"

"$zelpack" pack plugins/nested -o nested.zip --quiet >/dev/null
verify plugins/nested nested.zip

# On a terminal the run shows its progress on standard error (script gives it one).
script -qec "'$zelpack' pack plugins/big -o tty.zip" /dev/null >tty.txt || fail "run on a terminal"
grep -q "个文件" tty.txt || fail "no progress on a terminal: $(cat tty.txt)"
"$zelpack" pack plugins/big -o tty.zip --force --quiet 2>quiet.txt >/dev/null
[[ $(<quiet.txt) == "警告：vendor/bundle.zip 是 ZIP 压缩包，将被打包进去" ]] ||
  fail "progress while piped, or not only the warning: $(cat quiet.txt)"

# Selection by patterns ends up in the archive exactly.
"$zelpack" pack plugins/big -o patterns.zip --exclude 'data/**' --include 'Debug/*' >/dev/null
python3 - patterns.zip <<'PY' || fail "pattern selection"
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
assert "big/Debug/out.map" in names and not any(n.startswith("big/data/") for n in names), names
PY

# SOURCE_DATE_EPOCH: the same files pack to the same bytes whatever their times, every entry
# stamped with that moment (DOS time in UTC and the extended timestamp), clamped to 1980.
SOURCE_DATE_EPOCH=1700000000 "$zelpack" pack plugins/nested -o fixed-1.zip --quiet
touch -d '2001-02-03 04:05:06' plugins/nested/index.html
SOURCE_DATE_EPOCH=1700000000 TZ=Asia/Shanghai "$zelpack" pack plugins/nested -o fixed-2.zip --quiet
cmp fixed-1.zip fixed-2.zip || fail "SOURCE_DATE_EPOCH archives differ"
SOURCE_DATE_EPOCH=0 "$zelpack" pack plugins/nested -o fixed-0.zip --quiet
python3 - fixed-1.zip fixed-0.zip <<'PY' || fail "SOURCE_DATE_EPOCH times"
import struct, sys, zipfile
for path, when, seconds in ((sys.argv[1], (2023, 11, 14, 22, 13, 20), 1700000000),
                            (sys.argv[2], (1980, 1, 1, 0, 0, 0), 315532800)):
    for info in zipfile.ZipFile(path).infolist():
        assert info.date_time == when, (path, info.filename, info.date_time)
        assert info.extra[:4] == b"UT\x05\x00" and info.extra[5:9] == struct.pack("<I", seconds), \
            (path, info.filename, info.extra)
PY
if SOURCE_DATE_EPOCH=yesterday "$zelpack" pack plugins/nested -o never.zip 2>epoch.txt; then
  fail "an invalid SOURCE_DATE_EPOCH was accepted"
fi
grep -q "SOURCE_DATE_EPOCH 无效：yesterday" epoch.txt || fail "epoch message: $(cat epoch.txt)"

# A run cancelled by a signal leaves no archive and no temporary file, and exits 128 + the
# signal's number, whichever of the signals that would end the process arrives. Each is sent while
# the run is held stopped in its middle, so that it cannot finish first however fast the machine.
python3 -c 'open("plugins/big/data/huge.bin", "wb").write(__import__("os").urandom(150_000_000))'
echo "previous" >kept.zip
# Job control: a background job of a script would otherwise start with SIGINT and SIGQUIT ignored
# (and zelpack keeps a signal ignored that it was given ignored, as nohup asks).
set -m
for signal in HUP INT QUIT ALRM USR1 USR2 TERM; do
  "$zelpack" pack plugins/big -o kept.zip --force 2>cancel.txt &
  pid=$!
  for _ in $(seq 3000); do
    compgen -G '.kept.zip-*' >/dev/null && break
    sleep 0.01
  done
  kill -STOP $pid
  kill -"$signal" $pid
  kill -CONT $pid
  # Under job control, wait also returns (with 128 + SIGSTOP) when it sees the stop, which it may
  # notice only after SIGCONT; then the run is going again and is waited for once more.
  for _ in $(seq 1000); do
    status=0
    wait $pid || status=$?
    [[ $status -eq $((128 + $(kill -l STOP))) ]] || break
    sleep 0.01
  done
  number=$(kill -l "$signal")
  [[ $status -eq $((128 + number)) ]] || fail "run cancelled by SIG$signal exited $status"
  grep -q "打包已取消" cancel.txt || fail "cancel message after SIG$signal: $(cat cancel.txt)"
  [[ $(cat kept.zip) == previous ]] || fail "destination changed by a run cancelled by SIG$signal"
  [[ -z $(ls -A "$TMPDIR") ]] || fail "temporary files left after SIG$signal: $(ls -A "$TMPDIR")"
  [[ -z $(find . -maxdepth 1 -name '.kept.zip-*') ]] || fail "temporary archive left after SIG$signal"
done
set +m
rm plugins/big/data/huge.bin

# A closed standard output is a failed write: exit 1 with the reason, never death by SIGPIPE.
python3 - <<'PY'
import os
for i in range(5000):
    os.makedirs("plugins/many/d%d" % (i % 50), exist_ok=True)
    open("plugins/many/d%d/file-with-a-long-name-%05d.js" % (i % 50, i), "w").write("x")
open("plugins/many/com.example.many.xml", "w").write(
    '<vemplugin><property id="m" version="1" type="js" name="m"/></vemplugin>')
PY
statuses=$("$zelpack" list plugins/many 2>closed.txt | head -c 10 >/dev/null; echo "${PIPESTATUS[0]}")
[[ $statuses -eq 1 ]] || fail "list into a closed pipe exited $statuses"
grep -q "无法写入标准输出：Broken pipe" closed.txt || fail "closed pipe message: $(cat closed.txt)"
statuses=$("$zelpack" pack plugins/many -o many.zip --json 2>closed.txt | head -c 10 >/dev/null
           echo "${PIPESTATUS[0]}")
[[ $statuses -eq 1 ]] || fail "pack --json into a closed pipe exited $statuses"
grep -q "无法写入标准输出：Broken pipe" closed.txt || fail "closed pipe message: $(cat closed.txt)"
[[ -z $(ls -A "$TMPDIR") ]] || fail "temporary files left by a closed pipe: $(ls -A "$TMPDIR")"

# The format's limits: the dry run fails as the run does, with the file and the limit named, and
# the run leaves no archive. Sparse files make the sizes cheap; 65,535 files are made for real.
python3 - <<'PY'
import os
conf = '<vemplugin><property id="l" version="1" type="js" name="l"/></vemplugin>'
for name in ("size", "archive", "name", "count", "fits"):
    os.makedirs("limits/%s/sub" % name)
    open("limits/%s/com.example.limits.xml" % name, "w").write(conf)
def sparse(path, size):
    with open(path, "wb") as f:
        f.truncate(size)
sparse("limits/size/sub/huge.bin", 0xFFFFFFFF)
sparse("limits/archive/sub/edge.bin", 0xFFFFFFFE)  # the largest entry, but not with its headers
sparse("limits/fits/big.bin", 3_900_000_000)  # beyond the compressor's worst case
open("limits/name/sub/" + "n" * 255, "w").write("x")
for i in range(65_534):
    open("limits/count/sub/f%05d" % i, "w").close()
PY
for limit in "size:sub/huge.bin：超过 ZIP 格式的单个文件上限 4294967294 字节" \
             "archive:sub/edge.bin：压缩包会超过 ZIP 格式的上限 4294967295 字节" \
             "name:sub/nnnn*：条目名称超过上限 259 字节" \
             "count:sub/f*：条目数超过 ZIP 格式的上限 65535 个"; do
  folder=limits/${limit%%:*} expected="打包失败，无法打包 ${limit#*:}*"
  status=0
  "$zelpack" pack "$folder" -o limit.zip --dry-run >/dev/null 2>dry.txt || status=$?
  # shellcheck disable=SC2053
  [[ $status -eq 1 && $(tail -n1 dry.txt) == $expected ]] ||
    fail "dry run of $folder: $status $(cat dry.txt)"
  status=0
  "$zelpack" pack "$folder" -o limit.zip --quiet 2>run.txt || status=$?
  # Nothing from the writer follows: the limit is the whole reason.
  [[ $status -eq 1 && $(cat run.txt) == "$(cat dry.txt)" ]] ||
    fail "run of $folder: $status $(cat run.txt)"
  [[ ! -e limit.zip && -z $(find . -maxdepth 1 -name '.limit.zip-*') ]] || fail "$folder left an archive"
done
"$zelpack" pack limits/fits -o limit.zip --dry-run >/dev/null 2>&1 || fail "a 3.9 GB file fits"
rm -rf limits

# Two runs racing for one new path without --force: never both succeed, and what stays is one
# whole archive.
for attempt in $(seq 10); do
  rm -f race.zip
  "$zelpack" pack plugins/nested -o race.zip --quiet 2>race-1.txt & first=$!
  "$zelpack" pack plugins/nested -o race.zip --quiet 2>race-2.txt & second=$!
  won=0
  wait $first && won=$((won + 1))
  wait $second && won=$((won + 1))
  [[ $won -eq 1 ]] || fail "race $attempt: $won runs succeeded: $(cat race-1.txt race-2.txt)"
  grep -qh "压缩包已存在" race-1.txt race-2.txt || fail "race $attempt: $(cat race-1.txt race-2.txt)"
  unzip -tq race.zip >/dev/null || fail "race $attempt: the archive left is broken"
done
[[ -z $(find . -maxdepth 1 -name '.race.zip-*') ]] || fail "temporary archive left by a race"
# check prints the descriptor without a file of its own; -o takes a regular file or a free path
# only: a FIFO, a folder or (as root) a device node is refused and left as it is, never waited on.
config=plugins/nested/conf/org.example.nested.xml
"$zelpack" check "$config" >printed.xml || fail "check to standard output"
[[ -z $(ls -A "$TMPDIR") ]] || fail "check left a temporary file: $(ls -A "$TMPDIR")"
mkfifo check-fifo
mkdir check-folder
targets=(check-fifo check-folder)
if [[ $(id -u) -eq 0 ]]; then
  mknod check-device c 1 3
  targets+=(check-device)
fi
for target in "${targets[@]}"; do
  if timeout 10 "$zelpack" check "$config" -o "$target" 2>refused.txt; then
    fail "check -o $target succeeded"
  fi
  grep -q "描述文件路径不是普通文件：$target（" refused.txt || fail "check -o $target: $(cat refused.txt)"
done
[[ -p check-fifo && -d check-folder ]] || fail "check -o changed a FIFO or a folder"
[[ ! -e check-device || -c check-device ]] || fail "check -o replaced a device node"
"$zelpack" check "$config" -o printed-too.xml && cmp printed.xml printed-too.xml ||
  fail "check -o differs from standard output"
echo "all zelpack pack checks passed"
