#!/usr/bin/env bash
# zelpack-zip on every target and source kind: Python's zipfile, unzip -t, 7z t and bsdtar accept
# each archive and give back the exact bytes; failures name the entry and exit 1; --version ends
# with the licence.
set -euo pipefail
tool=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

python3 - <<'PY'
import random
rng = random.Random(11)
open("noise.bin", "wb").write(bytes(rng.getrandbits(8) for _ in range(150_000)))
open("text.txt", "wb").write(b"".join(b"line %d of the text\n" % i for i in range(60_000)))
open("empty.txt", "wb").close()
open("old.zip", "wb").write(b"PK\x05\x06" + bytes(18))
open("名字.txt", "wb").write("中文内容\n".encode())
PY

fail() { echo "FAIL: $*" >&2; exit 1; }

[[ $("$tool" --version) == "zelpack-zip "*$'\n'"许可证：MIT（Copyright (c) 2026 the zelpack authors，见 LICENSE）" ]] ||
  fail "--version does not end with the licence: $("$tool" --version)"

# check ARCHIVE PASSWORD NAME=FILE...: every reader accepts it, and Python extracts exactly
# the named entries with the contents of the files (an empty FILE: a folder entry).
check() {
  local archive=$1 password=$2
  shift 2
  unzip -t ${password:+-P "$password"} "$archive" >/dev/null || fail "unzip -t $archive"
  7z t "-p$password" "$archive" >/dev/null || fail "7z t $archive"
  bsdtar -xOf "$archive" ${password:+--passphrase "$password"} >/dev/null || fail "bsdtar $archive"
  python3 - "$archive" "$password" "$@" <<'PY' || fail "zipfile $archive"
import sys, zipfile
archive, password, *expected = sys.argv[1:]
with zipfile.ZipFile(archive) as z:
    if password:
        z.setpassword(password.encode())
    assert z.testzip() is None
    names = [i.filename for i in z.infolist()]
    want = [e.split("=", 1)[0] for e in expected]
    assert names == want, (names, want)
    for e in expected:
        name, path = e.split("=", 1)
        data = z.read(name)
        assert data == (open(path, "rb").read() if path else b""), name
PY
}

entries=(text.txt=text.txt 'sub\noise.bin=noise.bin' old.zip=@old.zip empty.txt=empty.txt docs/ 名字.txt=名字.txt)
expected=(text.txt=text.txt sub/noise.bin=noise.bin old.zip=old.zip empty.txt=empty.txt docs/= 名字.txt=名字.txt)

"$tool" file.zip "${entries[@]}"
check file.zip "" "${expected[@]}"

"$tool" - "${entries[@]}" | cat >stdout.zip
check stdout.zip "" "${expected[@]}"
python3 -c '
import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    assert i.flag_bits & 8, i.filename  # a pipe cannot seek: data descriptors
' stdout.zip

"$tool" --memory 1000000 memory.zip "${entries[@]}"
check memory.zip "" "${expected[@]}"

"$tool" --handle --offset 777 offset.zip "${entries[@]}"
check offset.zip "" "${expected[@]}"
[[ $(head -c 777 offset.zip | tr -d '\0' | wc -c) -eq 0 ]] || fail "offset prefix"

for target in "file-pw.zip" "--memory 1000000 memory-pw.zip" "--handle --offset 10 handle-pw.zip"; do
  # shellcheck disable=SC2086
  "$tool" --password 'p@ss word' $target "${entries[@]}"
  check "${target##* }" 'p@ss word' "${expected[@]}"
done
"$tool" --password 'p@ss word' - "${entries[@]}" | cat >stdout-pw.zip
check stdout-pw.zip 'p@ss word' "${expected[@]}"
"$tool" --password '' nopw.zip text.txt=text.txt
check nopw.zip "" text.txt=text.txt

# Sources that cannot seek: a deflated stream works on any target.
"$tool" stream.zip stream.txt=@- <text.txt
check stream.zip "" stream.txt=text.txt
cat text.txt | "$tool" - stream.txt=@- | cat >stream-pipe.zip
check stream-pipe.zip "" stream.txt=text.txt

# A stored stream of unknown length cannot go to a pipe: its size must precede the data.
if cat old.zip | "$tool" - s.zip=@- 2>err.txt | cat >/dev/null; then
  fail "stored stream to a pipe"
fi
grep -q "s.zip=@-" err.txt && grep -q "Zip-bug: tried to change mind, but not allowed" err.txt ||
  fail "message: $(cat err.txt)"
# ...but to a file it can, as its header is patched afterwards.
cat old.zip | "$tool" s.zip s.zip=@-
check s.zip "" s.zip=old.zip

# Failures: the entry and the writer's message, exit 1; what was at OUTPUT stays, and no
# temporary file is left beside it.
echo previous >bad.zip
status=0
"$tool" bad.zip text.txt=text.txt missing.txt=does-not-exist 2>err.txt || status=$?
[[ $status -eq 1 ]] && grep -q "missing.txt=does-not-exist" err.txt &&
  grep -q "Couldn't create/open file" err.txt || fail "missing source: $status $(cat err.txt)"
[[ $(cat bad.zip) == previous ]] || fail "a failed run replaced its output"
# A stream past what a size field holds (4 GiB - 2 bytes): the limit is named.
status=0
head -c 4300000000 /dev/zero | "$tool" bad.zip zeros.txt=@- 2>err.txt || status=$?
[[ $status -eq 1 ]] && grep -q "zeros.txt=@-” 失败：超过 ZIP 格式的单个文件上限 4294967294 字节" err.txt ||
  fail "stream over the limit: $status $(cat err.txt)"
[[ $(cat bad.zip) == previous ]] || fail "a stream over the limit replaced the output"
[[ -z $(find . -name '.bad.zip-*') ]] || fail "temporary archive left: $(find . -name '.bad.zip-*')"
# Numbers out of range are usage errors, before anything is written or reserved.
for offset in -1 4294967295 18446744073709551616 1e3; do
  status=0
  "$tool" --handle --offset "$offset" offset-bad.zip text.txt=text.txt 2>err.txt || status=$?
  [[ $status -eq 2 ]] && grep -q -- "--offset" err.txt || fail "--offset $offset: $status $(cat err.txt)"
  [[ ! -e offset-bad.zip ]] || fail "--offset $offset made a file"
done
for memory in 0 -1 4294967296; do
  status=0
  "$tool" --memory "$memory" memory-bad.zip text.txt=text.txt 2>err.txt || status=$?
  [[ $status -eq 2 ]] || fail "--memory $memory: $status $(cat err.txt)"
done
status=0
"$tool" --memory 100 small.zip noise.bin=noise.bin 2>err.txt || status=$?
[[ $status -eq 1 ]] && grep -q "not enough space allocated for memory zipfile" err.txt ||
  fail "small memory: $status $(cat err.txt)"
status=0
"$tool" out.zip not-an-entry 2>err.txt || status=$?
[[ $status -eq 2 ]] || fail "bad entry is a usage error: $status"
status=0
"$tool" --memory 10 --handle out.zip 2>err.txt || status=$?
[[ $status -eq 2 ]] || fail "--memory with --handle is a usage error: $status"
status=0
"$tool" /no/such/folder/out.zip 2>err.txt || status=$?
[[ $status -eq 1 ]] || fail "uncreatable output: $status"
echo "all zelpack-zip checks passed"
