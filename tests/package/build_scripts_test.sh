#!/usr/bin/env bash
# Tests the build's release scripts on this machine's own tools: cmake/strip-program.cmake
# (stripping, debug link, the size limit) and cmake/windows-text.cmake (CR LF, byte order mark).
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
  nm "$scratch/small" 2>&1 | grep -q ' main$' && fail "the stripped program still has symbols"
  nm "$scratch/small.debug" 2>/dev/null | grep -q ' main$' ||
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

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
