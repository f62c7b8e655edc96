#!/usr/bin/env bash
# Installs the Debian package on this machine as root, uses it as a user would, removes it and
# checks that nothing of it remains. Refuses to run where kml2mif is installed already, so that
# it never removes what someone else installed.
# Usage: deb_install_test.sh PACKAGE.deb EXAMPLE.kml
set -euo pipefail
deb="$(realpath "$1")"
example="$(realpath "$2")"
doc=/usr/share/doc/kml2mif
files=(/usr/bin/kml2mif /usr/share/man/man1/kml2mif.1.gz "$doc/copyright" "$doc/changelog.Debian.gz")
scratch="$(mktemp -d)"
installed=no
cleanup() {
  [ "$installed" = yes ] && dpkg --purge kml2mif >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
status() { dpkg-query -W -f='${Status}' kml2mif 2>/dev/null || true; }

[ "$(id -u)" = 0 ] || fail "must run as root (it installs $deb)"
case "$(status)" in *" installed") fail "kml2mif is installed already; remove it first" ;; esac
for file in "${files[@]}"; do [ ! -e "$file" ] || fail "$file exists before installing"; done

# The package's record: name, a section, a maintainer, and libraries found by dpkg-shlibdeps.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kml2mif ] || fail "package name $(field Package)"
[ -n "$(field Section)" ] && [ -n "$(field Maintainer)" ] || fail "no section or maintainer"
field Depends | grep -q 'libc6 (>=' || fail "Depends lacks libc6: $(field Depends)"
field Description | sed -n 2p | grep -q . || fail "no long description"
! field Description | grep -q '.\{80\}' || fail "a description line is longer than 79 characters"
contents="$(dpkg-deb -c "$deb")"
for file in "${files[@]}"; do
  grep -q " \.$file\$" <<<"$contents" || fail "$file is not in the package"
done

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null ||
  fail "apt-get install $deb failed"
installed=yes
[ "$(command -v kml2mif)" = /usr/bin/kml2mif ] || fail "kml2mif is not on PATH"
version="$(kml2mif --version)"
[ "$version" = "kml2mif $(field Version | sed 's/-[^-]*$//')" ] || fail "--version: $version"
if command -v man >/dev/null; then
  [ "$(man -w kml2mif)" = /usr/share/man/man1/kml2mif.1.gz ] || fail "man -w: $(man -w kml2mif)"
  MANPAGER=cat MANWIDTH=80 man kml2mif 2>/dev/null | grep -- '--keep-going' >/dev/null ||
    fail "the manual page does not show the options"
fi
changes="$(zcat "$doc/changelog.Debian.gz" | head -n 1)"
[[ "$changes" == "kml2mif ($(field Version)) "* ]] || fail "the changelog is of $changes"
! ldd /usr/bin/kml2mif | grep -q 'not found' || fail "missing libraries: $(ldd /usr/bin/kml2mif)"

# A conversion by the installed program, as a user who is not in the source tree.
cp "$example" "$scratch/route.kml"
(cd "$scratch" && kml2mif route.kml >/dev/null) || fail "kml2mif route.kml failed"
for output in "$scratch/route.mif" "$scratch/route.mid"; do
  [ -s "$output" ] || fail "$output missing or empty"
done
cmp -s "$example" "$scratch/route.kml" || fail "the input was modified"

DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kml2mif >/dev/null || fail "remove failed"
installed=no
hash -r
! command -v kml2mif >/dev/null || fail "kml2mif still found at $(command -v kml2mif)"
for file in "${files[@]}"; do [ ! -e "$file" ] || fail "$file remains after removal"; done
case "$(status)" in *" installed") fail "still recorded as installed" ;; esac
echo "$(basename "$deb"): installed, used, removed: all checks passed"
