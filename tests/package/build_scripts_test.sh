#!/usr/bin/env bash
# Tests the build's release scripts on this machine's own tools: cmake/strip-program.cmake
# (stripping, debug link, the size limit), cmake/windows-text.cmake (CR LF, byte order mark),
# the packages' time (source-date-epoch.cmake, debian-changelog.cmake) and
# reproducible-package.py.
# Usage: build_scripts_test.sh SOURCE_DIR PROGRAM
set -uo pipefail
source_dir="$1"
program="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

strip_program() {  # STRIPPED DEBUG_FILE [MAX_BYTES]
  cmake -DPROGRAM="$program" -DSTRIPPED="$1" -DDEBUG_FILE="$2" ${3:+-DMAX_BYTES=$3} \
    -DOBJCOPY="$(command -v objcopy)" -DSTRIP="$(command -v strip)" \
    -P "$source_dir/cmake/strip-program.cmake" 2>"$scratch/stderr"
}

# Within the limit: a smaller program without symbols, pointing at its debug file by name and
# checksum, and a debug file that still has the symbols.
if strip_program "$scratch/small" "$scratch/small.debug" 100000000; then
  [ "$(stat -c %s "$scratch/small")" -lt "$(stat -c %s "$program")" ] ||
    fail "the stripped program is not smaller than the original"
  nm "$scratch/small" 2>&1 | grep ' main$' >/dev/null && fail "the stripped program still has symbols"
  nm "$scratch/small.debug" 2>/dev/null | grep ' main$' >/dev/null ||
    fail "the debug file has no symbol main"
  objcopy --dump-section .gnu_debuglink="$scratch/link" "$scratch/small" 2>/dev/null ||
    fail "no .gnu_debuglink section"
  python3 - "$scratch/link" "$scratch/small.debug" <<'PY' || fail "the debug link is wrong"
import sys, zlib
link = open(sys.argv[1], "rb").read()
name = link[:link.index(b"\0")]
crc = int.from_bytes(link[-4:], "little")
sys.exit(0 if name == b"small.debug" and crc == zlib.crc32(open(sys.argv[2], "rb").read()) else 1)
PY
else
  fail "stripping within the limit failed: $(cat "$scratch/stderr")"
fi

# Over the limit: the step fails naming the file, and leaves no output that a later build
# could take as up to date.
if strip_program "$scratch/big" "$scratch/big.debug" 1000; then
  fail "a program over the size limit was accepted"
else
  # CMake wraps its messages; join the lines before looking.
  tr -s ' \n' '  ' <"$scratch/stderr" |
    grep -q "$scratch/big: [0-9]* bytes after stripping, more than the 1000 allowed" ||
    fail "the size error does not name the file: $(cat "$scratch/stderr")"
  for left in "$scratch/big" "$scratch/big.unchecked"; do
    [ ! -e "$left" ] || fail "$left was left behind"
  done
fi

# windows-text.cmake: input bytes (printf format), BOM setting, expected output bytes.
cases=(
  'a\nb\n|OFF|a\r\nb\r\n'
  'a\r\nb\n|OFF|a\r\nb\r\n'
  'a\nb|ON|\xef\xbb\xbfa\r\nb'
  '\xef\xbb\xbf\xe4\xb8\xad\n|ON|\xef\xbb\xbf\xe4\xb8\xad\r\n'
  '\xef\xbb\xbfx;y\n|OFF|x;y\r\n'
  '|ON|\xef\xbb\xbf'
)
for row in "${cases[@]}"; do
  IFS='|' read -r input bom expected <<<"$row"
  printf "$input" >"$scratch/in.txt"
  printf "$expected" >"$scratch/expected.txt"
  cmake -DINPUT="$scratch/in.txt" -DOUTPUT="$scratch/out.txt" -DBOM="$bom" \
    -P "$source_dir/cmake/windows-text.cmake" ||
    fail "windows-text.cmake failed on '$input'"
  cmp -s "$scratch/out.txt" "$scratch/expected.txt" ||
    fail "windows-text.cmake: '$input' with BOM=$bom gave $(xxd -p "$scratch/out.txt")"
done
if cmake -DINPUT="$scratch/missing.txt" -DOUTPUT="$scratch/out2.txt" \
  -P "$source_dir/cmake/windows-text.cmake" 2>"$scratch/stderr"; then
  fail "a missing input was accepted"
else
  grep -q "$scratch/missing.txt" "$scratch/stderr" || fail "the error does not name the input"
fi

# The packages' time, as the changelog's newest entry shows it: SOURCE_DATE_EPOCH when given,
# else the commit's time where the sources are a git checkout of their own, else the date that
# the changelog has (also for sources unpacked inside another repository). Older entries keep
# theirs; the gzip header holds no time.
changelog() {  # SOURCES: writes SOURCES/docs/changelog.Debian
  mkdir -p "$1/docs"
  printf '%s\n' 'kml2mif (1.1-1) unstable; urgency=medium' '' '  * b' '' \
    ' -- A <a@example.org>  Mon, 07 Dec 2026 12:00:00 +0000' '' \
    'kml2mif (1.0-1) unstable; urgency=medium' '' '  * a' '' \
    ' -- A <a@example.org>  Sun, 06 Dec 2026 12:00:00 +0000' >"$1/docs/changelog.Debian"
}
mkdir -p "$scratch/plain" "$scratch/own" "$scratch/outer/inner"
changelog "$scratch/plain"
changelog "$scratch/own"
changelog "$scratch/outer/inner"
for repository in own outer; do
  git -C "$scratch/$repository" init -q &&
    git -C "$scratch/$repository" add -A &&
    GIT_COMMITTER_DATE=@1000000000 git -C "$scratch/$repository" -c user.name=t \
      -c user.email=t@example.org commit -qm t
done
cases=(
  'plain|86400|Fri, 02 Jan 1970 00:00:00 +0000'
  'plain||Mon, 07 Dec 2026 12:00:00 +0000'
  'own||Sun, 09 Sep 2001 01:46:40 +0000'
  'outer/inner||Mon, 07 Dec 2026 12:00:00 +0000'
)
for row in "${cases[@]}"; do
  IFS='|' read -r sources epoch expected <<<"$row"
  env -u SOURCE_DATE_EPOCH ${epoch:+SOURCE_DATE_EPOCH=$epoch} cmake \
    -DKML2MIF_SOURCE_DIR="$scratch/$sources" -DCHANGELOG="$scratch/$sources/docs/changelog.Debian" \
    -DOUTPUT="$scratch/changelog.gz" -P "$source_dir/cmake/debian-changelog.cmake" >/dev/null ||
    fail "debian-changelog.cmake failed for $sources"
  dates="$(zcat "$scratch/changelog.gz" | sed -n 's/^ -- .*>  //p' | paste -sd '|')"
  [ "$dates" = "$expected|Sun, 06 Dec 2026 12:00:00 +0000" ] ||
    fail "changelog of $sources (SOURCE_DATE_EPOCH '$epoch') dated $dates"
  [ "$(od -An -tx1 -j4 -N4 "$scratch/changelog.gz" | tr -d ' ')" = 00000000 ] ||
    fail "the changelog's gzip header holds a time"
done

# reproducible-package.py: a zip's entries in name order, dated SOURCE_DATE_EPOCH, without the
# owner's ids, their modes and contents kept; a .deb's members owned by root, dated, mode 0644.
python3 - "$source_dir/cmake/reproducible-package.py" "$scratch" <<'PY' ||
import os, subprocess, sys, zipfile
script, scratch = sys.argv[1:]
owner = b"ux\x0b\x00\x01\x04\xe8\x03\x00\x00\x04\xe8\x03\x00\x00"  # uid and gid 1000
entries = [("b.txt", 0o100755, b"b"), ("a/", 0o40755, b""), ("a/c.txt", 0o100644, b"c")]
zip_path = os.path.join(scratch, "p.zip")
with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as archive:
    for name, mode, data in entries:
        info = zipfile.ZipInfo(name, (2020, 1, 2, 3, 4, 6))
        info.extra, info.external_attr = owner, mode << 16
        archive.writestr(info, data)
members = [(b"debian-binary", b"2.0\n"), (b"control.tar.gz", b"xyz")]
deb_path = os.path.join(scratch, "p.deb")
with open(deb_path, "wb") as deb:
    deb.write(b"!<arch>\n")
    for name, data in members:
        deb.write(b"%-16s%-12d%-6d%-6d%-8o%-10d`\n" % (name, 1234, 1000, 1000, 0o100664, len(data)))
        deb.write(data + b"\n" * (len(data) % 2))
subprocess.run([sys.executable, script, zip_path, deb_path], check=True,
               env={**os.environ, "SOURCE_DATE_EPOCH": "1000000000"})
with zipfile.ZipFile(zip_path) as archive:
    got = [(i.filename, i.external_attr >> 16, archive.read(i), i.date_time, i.extra)
           for i in archive.infolist()]
want = [(n, m, d, (2001, 9, 9, 1, 46, 40), b"") for n, m, d in sorted(entries)]
assert got == want, got
data, at = open(deb_path, "rb").read(), 8
for name, body in members:
    header = data[at:at + 60]
    assert header[16:48] == b"%-12d%-6d%-6d%-8o" % (1000000000, 0, 0, 0o100644), header
    assert data[at + 60:at + 60 + len(body)] == body
    at += 60 + len(body) + len(body) % 2
PY
  fail "reproducible-package.py"

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
