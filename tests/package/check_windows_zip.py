#!/usr/bin/env python3
"""Checks the Windows zips that `cpack --preset win32` makes, as a user would receive them.

Usage: check_windows_zip.py PACKAGES_DIR OBJDUMP OBJCOPY   (the binutils of the MinGW toolchain)
"""
import re
import subprocess
import sys
import tempfile
import zipfile
import zlib
from pathlib import Path

MAX_DESKTOP_BYTES = 512000
BOM = b"\xef\xbb\xbf"
PROGRAMS = ["KmlConverter", "kml2mif"]
RUNTIME = {"KmlConverter.exe", "kml2mif.exe", "使用说明.txt", "LICENSE.txt",
           "licenses/expat.txt", "licenses/zlib.txt", "licenses/geographiclib.txt"}
DEBUG = {"KmlConverter.debug", "kml2mif.debug"}
# What the guide must tell: what is guaranteed, the desktop program's limits, the way out.
GUIDE_MUST_SAY = ["绝不会被修改", "成对替换", "写明出错的文件", "第一个坐标列表", "一条折线",
                  "kml2mif.exe", "KMZ", "编码", "expat", "zlib", "GeographicLib", "MIT",
                  "--coordsys", "--towgs84", "--from gcj02", "CGCS2000"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def sections(objdump, path):
    listing = subprocess.run([objdump, "-h", str(path)], check=True, capture_output=True,
                             text=True).stdout
    return set(re.findall(r"^\s*\d+\s+(\S+)", listing, re.MULTILINE))


def debug_link(objcopy, path):
    """The file name and checksum that a program's .gnu_debuglink holds."""
    with tempfile.TemporaryDirectory() as scratch:
        link = Path(scratch) / "link"
        subprocess.run([objcopy, "--dump-section", f".gnu_debuglink={link}", str(path),
                        str(Path(scratch) / "copy")], check=True, capture_output=True)
        data = link.read_bytes()
    return data[:data.index(b"\0")].decode(), int.from_bytes(data[-4:], "little")


def check_text(name, data, bom):
    check(data.startswith(BOM) == bom, f"{name}: byte order mark {'missing' if bom else 'found'}")
    check(b"\n" in data and data.count(b"\n") == data.count(b"\r\n"),
          f"{name}: not every line ends in CR LF")
    check(len(data) > 200, f"{name}: only {len(data)} bytes")


def main():
    packages, objdump, objcopy = Path(sys.argv[1]), sys.argv[2], sys.argv[3]
    runtime_zips = [p for p in packages.glob("kml2mif-*-win32.zip")]
    debug_zips = [p for p in packages.glob("kml2mif-*-win32-debug.zip")]
    if len(runtime_zips) != 1 or len(debug_zips) != 1:
        print(f"FAIL: expected one program zip and one debug zip in {packages}")
        return 1
    with tempfile.TemporaryDirectory() as scratch:
        root = Path(scratch)
        for archive, expected in ((runtime_zips[0], RUNTIME), (debug_zips[0], DEBUG)):
            with zipfile.ZipFile(archive) as zip_file:
                names = {n for n in zip_file.namelist() if not n.endswith("/")}
                check(names == expected, f"{archive.name}: holds {sorted(names)}")
                zip_file.extractall(root)

        size = (root / "KmlConverter.exe").stat().st_size
        check(size <= MAX_DESKTOP_BYTES, f"KmlConverter.exe: {size} bytes")
        for program in PROGRAMS:
            exe, debug = root / f"{program}.exe", root / f"{program}.debug"
            exe_sections, debug_sections = sections(objdump, exe), sections(objdump, debug)
            check(not any(s.startswith(".debug_") for s in exe_sections),
                  f"{exe.name}: debugging sections left: {sorted(exe_sections)}")
            check(".debug_info" in debug_sections, f"{debug.name}: no .debug_info")
            name, crc = debug_link(objcopy, exe)
            check(name == debug.name, f"{exe.name}: links to {name}")
            check(crc == zlib.crc32(debug.read_bytes()), f"{exe.name}: checksum of {name} differs")

        guide = (root / "使用说明.txt").read_bytes()
        check_text("使用说明.txt", guide, bom=True)
        text = guide.decode("utf-8-sig")
        for phrase in GUIDE_MUST_SAY:
            check(phrase in text, f"使用说明.txt: does not mention {phrase}")
        check_text("LICENSE.txt", (root / "LICENSE.txt").read_bytes(), bom=False)
        check(b"MIT License" in (root / "LICENSE.txt").read_bytes(), "LICENSE.txt: not MIT")
        for library, mark in (("expat", b"Permission is hereby granted"),
                              ("zlib", b"This software is provided 'as-is'"),
                              ("geographiclib", b"Charles Karney")):
            data = (root / "licenses" / f"{library}.txt").read_bytes()
            check_text(f"licenses/{library}.txt", data, bom=False)
            check(mark in data, f"licenses/{library}.txt: no licence text")

    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"{runtime_zips[0].name}, {debug_zips[0].name}: "
          f"{'all checks passed' if not failures else f'{len(failures)} failed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
