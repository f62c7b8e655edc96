#!/usr/bin/env python3
"""Rewrites a zip so that nothing of the machine and moment that made it remains: the entries in
the order of their names, each dated SOURCE_DATE_EPOCH (in UTC, whatever the time zone), without
the extra fields in which CPack's zip writer records the owner's ids and the file times. Names,
modes and contents are kept as they are.

Usage: reproducible-zip.py ZIP...   (SOURCE_DATE_EPOCH in the environment)
"""
import os
import sys
import time
import zipfile
from pathlib import Path

UNIX = 3  # the system of origin by which unzip reads the mode from the external attributes
FIRST_ZIP_TIME = 315532800  # 1980-01-01, before which a zip cannot date an entry


def rewrite(path, stamp):
    part = path.with_name(path.name + ".part")
    with zipfile.ZipFile(path) as old, zipfile.ZipFile(part, "w") as new:
        for info in sorted(old.infolist(), key=lambda entry: entry.filename.encode()):
            entry = zipfile.ZipInfo(info.filename, stamp)
            entry.create_system = UNIX
            entry.external_attr = info.external_attr
            entry.compress_type = info.compress_type
            new.writestr(entry, old.read(info))
    os.replace(part, path)


def main():
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    stamp = time.gmtime(max(epoch, FIRST_ZIP_TIME))[:6]
    for name in sys.argv[1:]:
        rewrite(Path(name), stamp)
    return 0


if __name__ == "__main__":
    sys.exit(main())
