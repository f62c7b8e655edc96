#!/usr/bin/env bash
# End-to-end test of the command line: runs the built kml2mif on files in a scratch folder and
# checks its report, its exit codes and the files it writes.
# Usage: kml2mif_test.sh KML2MIF EXAMPLE_KML [EMULATOR]
# With an EMULATOR (Wine) the program's texts are GBK with CR LF; they are turned into UTF-8.
# The checks of texts run under a Chinese locale, those marked English under an English one.
set -uo pipefail
export LC_ALL=zh_CN.UTF-8
tool="$1"
example="$2"
emulator="${3:-}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run ARGS...: sets $status, $out and $err.
run() {
  $emulator "$tool" "$@" >out.raw 2>err.raw
  status=$?
  if [ -n "$emulator" ]; then
    out="$(tr -d '\r' <out.raw | iconv -f GBK -t UTF-8)"
    err="$(tr -d '\r' <err.raw | iconv -f GBK -t UTF-8)"
  else
    out="$(cat out.raw)"
    err="$(cat err.raw)"
  fi
}

# english CMD...: runs CMD as under an English locale (under Wine: code page 1252).
english() { LC_ALL=C.UTF-8 KML2MIF_WINE_LANG=C.UTF-8 "$@"; }

expect_status() { [ "$status" = "$1" ] || fail "$2: exit $status, expected $1 (stderr: $err)"; }
expect_in() { case "$2" in *"$1"*) ;; *) fail "$3: '$1' not in '$2'" ;; esac; }
kml() { printf '<coordinates>\n%s\n</coordinates>\n' "$2" >"$1"; }

run --version
expect_status 0 "--version"
[ "$out" = "kml2mif 1.0.0.1" ] || fail "--version printed '$out'"

run --help
expect_status 0 "--help"
expect_in "退出状态" "$out" "--help"
expect_in "--keep-going" "$out" "--help"
expect_in "--first-line" "$out" "--help"

english run -h
expect_status 0 "-h (English)"
expect_in "Exit status" "$out" "-h (English)"
english run --bogus
expect_in "unknown option" "$err" "--bogus (English)"

run -V
[ "$out" = "kml2mif 1.0.0.1" ] || fail "-V printed '$out'"

run --charset Latin9 a.kml
expect_status 2 "bad charset"
expect_in "Latin9" "$err" "bad charset"
run --first-line --charset=UTF-8 a.kml
expect_status 2 "--charset with --first-line"

run
expect_status 2 "no file"
expect_in "kml2mif: " "$err" "no file"
expect_in "用法" "$err" "no file"

run --bogus a.kml
expect_status 2 "unknown option"
expect_in "--bogus" "$err" "unknown option"

cp "$example" route.kml
run --first-line route.kml
expect_status 0 "example"
expect_in "route.kml" "$out" "example"
expect_in "route.mif" "$out" "example"
expect_in "route.mid" "$out" "example"
expect_in "6 个点" "$out" "example"
[ "$(echo "$out" | wc -l)" = 1 ] || fail "example: more than one line: $out"
header="$(printf 'VERSION 300\r\nDELIMITER ","\r\nCOLUMNS 1\r\nblank char(1)\r\nDATA\r\nPLINE 6\r\n')"
[ "$(head -c ${#header} route.mif)" = "$header" ] || fail "example: MIF header: $(cat -A route.mif)"
[ "$(tail -n +7 route.mif | grep -c $'^[\t ]*116\\.39[0-9]* 39\\.9[0-9]*\r$')" = 6 ] ||
  fail "example: MIF points: $(cat -A route.mif)"
[ "$(cat route.mid)" = "$(printf '\r\n\r\n\r\n\r\n\r\n\r\n')" ] || fail "example: MID $(cat -A route.mid)"

printf '<kml>\n</kml>\n' >plain.kml
run --quiet --first-line plain.kml
expect_status 0 "no coordinate list"
[ -z "$out" ] || fail "--quiet printed '$out'"
expect_in "kml2mif: 警告" "$err" "no coordinate list"
expect_in "plain.kml" "$err" "no coordinate list"
[ -f plain.mif ] && [ ! -s plain.mid ] || fail "no coordinate list: outputs"

kml a.kml "1,2,0 "
kml c.kml "1,2,0 "
run --first-line a.kml missing.kml c.kml
expect_status 1 "missing file"
expect_in "kml2mif: " "$err" "missing file"
expect_in "missing.kml" "$err" "missing file"
[ -f a.mif ] || fail "missing file: the file before it was not converted"
[ ! -e c.mif ] && [ ! -e c.mid ] || fail "missing file: the file after it was touched"
[ ! -e missing.mif ] && [ ! -e missing.mid ] || fail "missing file: outputs left behind"

run --keep-going --quiet --first-line missing.kml c.kml
expect_status 1 "--keep-going"
expect_in "missing.kml" "$err" "--keep-going"
[ -f c.mif ] && [ -f c.mid ] || fail "--keep-going: the file after the error was not converted"

kml track.mid "1,2,0 "
before="$(cat track.mid)"
run --first-line track.mid
expect_status 1 "input named like an output"
expect_in "track.mid" "$err" "input named like an output"
[ "$(cat track.mid)" = "$before" ] || fail "input named like an output: input changed"
[ ! -e track.mif ] || fail "input named like an output: MIF written"

printf '<coordinates>\n1,2 3,4\n</coordinates>\n' >nopoint.kml
run -q --first-line nopoint.kml
expect_status 0 "first line without a point"
expect_in "nopoint.kml" "$err" "first line without a point"
expect_in "--first-line" "$err" "first line without a point"
[ -f nopoint.mif ] || fail "first line without a point: not converted"

mkdir out
run -q --first-line -o out a.kml
expect_status 0 "-o"
[ -f out/a.mif ] && [ -f out/a.mid ] || fail "-o: outputs not in the folder"
rm -f a.mif a.mid c.mif c.mid
run -q --first-line --output-dir=out c.kml
[ -f out/c.mif ] && [ ! -e c.mif ] || fail "--output-dir=: outputs not in the folder"
run -q --first-line -o nowhere a.kml
expect_status 1 "-o missing folder"
expect_in "nowhere" "$err" "-o missing folder"
[ ! -e a.mif ] || fail "-o missing folder: converted anyway"

kml same.kml "1,2,0 "
kml same.kmz "1,2,0 "
run --first-line same.kml same.kmz
expect_status 2 "two inputs, one output"
expect_in "same.kml" "$err" "two inputs, one output"
expect_in "same.kmz" "$err" "two inputs, one output"
[ ! -e same.mif ] || fail "two inputs, one output: converted anyway"
run --first-line same.kml ./same.kml same.kml
expect_status 0 "the same file three times"
[ "$(echo "$out" | wc -l)" = 1 ] || fail "the same file three times: converted more than once: $out"

# Only regular files: folders (and on POSIX devices and pipes) are refused, nothing is created.
mkdir maps.kml
before="$(find . | sort)"
for name in . .. maps.kml maps.kml/; do
  run --first-line "$name"
  expect_status 1 "folder $name"
  expect_in "$name" "$err" "folder $name"
done
if [ -z "$emulator" ]; then
  mkfifo pipe.kml
  before="$(find . | sort)"
  english run pipe.kml /dev/null
  expect_status 1 "pipe"
  expect_in "pipe.kml\": it is a pipe" "$err" "pipe"
  english run -k pipe.kml /dev/null
  expect_in "/dev/null\": it is a device" "$err" "device"
  run --first-line /dev/stdin </dev/null
  [ ! -e /dev/stmif ] && [ ! -e /dev/stmid ] || fail "/dev/stdin: outputs in /dev"
fi
[ "$(find . | sort)" = "$before" ] || fail "irregular files: something was created"

# A report that cannot be written is an error, not a success.
if [ -z "$emulator" ] && [ -w /dev/full ]; then
  "$tool" --help >/dev/full 2>err.raw
  status=$?
  [ "$status" = 1 ] || fail "--help >/dev/full: exit $status"
  [ -s err.raw ] || fail "--help >/dev/full: no message"
  "$tool" --first-line a.kml >/dev/full 2>/dev/null
  [ "$?" = 1 ] || fail "conversion >/dev/full: exit status not 1"
  { sleep 0.3; "$tool" --help 2>/dev/null; echo $? >pipe.status; } | true
  [ "$(cat pipe.status)" = 1 ] || fail "closed pipe: exit $(cat pipe.status)"
fi

if [ -n "$emulator" ]; then
  # No shell expands wildcards for a Windows program: it expands them itself.
  mkdir wild && kml wild/one.kml "1,2,0 " && kml wild/two.kml "3,4,0 5,6,0 "
  kml wild/中文.kml "1,2,0 "
  run --quiet --first-line 'wild/*.kml'
  expect_status 0 "wildcard"
  [ -f wild/one.mif ] && [ -f wild/two.mif ] && [ -f wild/two.mid ] && [ -f wild/中文.mif ] ||
    fail "wildcard: not every matching file was converted"

  # Any file name converts, whatever the ANSI code page (1252 here cannot hold Chinese).
  kml 路线ß.kml "1,2,0 "
  english run --first-line 路线ß.kml
  expect_status 0 "Chinese name under code page 1252"
  [ -f 路线ß.mif ] && [ -f 路线ß.mid ] || fail "Chinese name under code page 1252: no outputs"
  english run --first-line 路线ß.kmz
  expect_status 1 "missing Chinese name under code page 1252"

  # Names that differ only in case are the same file on Windows.
  kml case.kml "1,2,0 "
  kml CASE.KMZ "1,2,0 "
  run --first-line case.kml CASE.KMZ
  expect_status 2 "outputs differing in case"
  [ ! -e case.mif ] || fail "outputs differing in case: converted anyway"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
