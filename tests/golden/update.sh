#!/usr/bin/env bash
# Writes the expected outputs of the golden test anew, from what KML2MIF (by default the native
# build's) makes of cases/. Only run it on purpose: when the output of a case is meant to
# change. Look at `git diff tests/golden/expected` before committing, and say in the commit
# why each changed file changed.
# Usage: tests/golden/update.sh [KML2MIF]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec python3 "$here/run.py" --update "${1:-$here/../../build/native/cli/kml2mif}"
