#!/usr/bin/env python3
"""Rewrites the packages that CPack made so that nothing of the machine, user and moment that
made them remains; names, modes and contents of the packaged files are kept as they are.

- A zip: the entries in the order of their names, each dated SOURCE_DATE_EPOCH (in UTC, whatever
  the time zone), without the extra fields in which CPack's zip writer records the owner's ids
  and the file times.
- A .deb: its three archive members owned by root, dated SOURCE_DATE_EPOCH and of mode 0644
  (CPack takes the mode from the files it wrote, that is, from the umask).

Usage: reproducible-package.py PACKAGE...   (SOURCE_DATE_EPOCH in the environment)
"""
import os
import sys
import time
import zipfile
from pathlib import Path

UNIX = 3  # the system of origin by which unzip reads the mode from the external attributes
FIRST_ZIP_TIME = 315532800  # 1980-01-01, before which a zip cannot date an entry
AR_MAGIC = b"!<arch>\n"
AR_HEADER = 60  # name 16, time 12, owner 6, group 6, mode 8, size 10, end mark 2


def rewrite_zip(path, epoch):
    stamp = time.gmtime(max(epoch, FIRST_ZIP_TIME))[:6]
    part = path.with_name(path.name + ".part")
    with zipfile.ZipFile(path) as old, zipfile.ZipFile(part, "w") as new:
        for info in sorted(old.infolist(), key=lambda entry: entry.filename.encode()):
            entry = zipfile.ZipInfo(info.filename, stamp)
            entry.create_system = UNIX
            entry.external_attr = info.external_attr
            entry.compress_type = info.compress_type
            new.writestr(entry, old.read(info))
    os.replace(part, path)


def rewrite_deb(path, epoch):
    data = path.read_bytes()
    if not data.startswith(AR_MAGIC):
        raise SystemExit(f"{path}: not an ar archive")
    out = bytearray(AR_MAGIC)
    at = len(AR_MAGIC)
    while at < len(data):
        header = data[at:at + AR_HEADER]
        size = int(header[48:58])
        fields = b"%-12d%-6d%-6d%-8o" % (epoch, 0, 0, 0o100644)
        out += header[:16] + fields + header[48:]
        body = size + size % 2  # members start at even offsets
        out += data[at + AR_HEADER:at + AR_HEADER + body]
        at += AR_HEADER + body
    part = path.with_name(path.name + ".part")
    part.write_bytes(out)
    os.replace(part, path)


def main():
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    for name in sys.argv[1:]:
        path = Path(name)
        if path.suffix == ".zip":
            rewrite_zip(path, epoch)
        elif path.suffix == ".deb":
            rewrite_deb(path, epoch)
        else:
            raise SystemExit(f"{path}: neither a zip nor a .deb")
    return 0


if __name__ == "__main__":
    sys.exit(main())
