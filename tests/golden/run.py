#!/usr/bin/env python3
"""The golden test of the full conversion: kml2mif converts each input of cases/ and what it
writes (the .mif, the .mid, its report and its exit status) must equal, byte for byte, what
expected/ holds. A difference is shown as a readable diff.

Usage: run.py KML2MIF [--emulator RUNNER]   compare (RUNNER: wine-run.sh for kml2mif.exe)
       run.py KML2MIF --update              write expected/ anew (see update.sh)

The inputs:
- cases/NAME.kml is converted as it is;
- cases/NAME.kmz.d/ is a folder that becomes NAME.kmz (its files deflated, doc.kml first);
- chinese.kml is also converted as its GBK and UTF-16 twins (the same document in those
  encodings, the declaration changed to say so), which must give the same bytes as it does, and
  in the UTF-8 character set (expected/chinese-utf8.*).
The report is the English one (the C locale; under Wine, code page 1252) with CR LF made LF.
"""
import argparse
import difflib
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, "cases")
EXPECTED = os.path.join(HERE, "expected")

# Stem of the expected files, input in cases/, kml2mif's options, encoding of a twin (None: the
# input as it is).
EXTRA_VARIANTS = [
    ("chinese", "chinese.kml", [], "gbk"),
    ("chinese", "chinese.kml", [], "utf-16"),
    ("chinese-utf8", "chinese.kml", ["--charset", "UTF-8"], None),
    # A Gauss-Krueger zone found from the data, the points taken from a web map's coordinates.
    ("chinese-gk3", "chinese.kml", ["--coordsys", "cgcs2000-gk3", "--from", "gcj02"], None),
    ("chinese-beijing1954", "chinese.kml",
     ["--coordsys", "EPSG:2436", "--towgs84", "24.47,-130.89,-81.56,-1.8,2.9,-3.7,5.2"], None),
]


def variants():
    """Every conversion the test makes: (expected stem, input, options, twin encoding)."""
    found = []
    for name in sorted(os.listdir(CASES)):
        if name.endswith(".kml"):
            found.append((name[:-4], name, [], None))
        elif name.endswith(".kmz.d"):
            found.append((name[:-6], name, [], None))
    return found + EXTRA_VARIANTS


def make_kmz(folder, path):
    """A zip of `folder`'s files, doc.kml first, with fixed times so that it is the same on
    every run."""
    names = []
    for root, _, files in os.walk(folder):
        for file in files:
            names.append(os.path.relpath(os.path.join(root, file), folder).replace(os.sep, "/"))
    names.sort(key=lambda name: (name != "doc.kml", name))
    with zipfile.ZipFile(path, "w") as archive:
        for name in names:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as file:
                archive.writestr(info, file.read())


def make_twin(text, encoding):
    """The UTF-8 document `text` in `encoding`, its declaration naming it."""
    declared = text.replace('encoding="UTF-8"', 'encoding="%s"' % encoding.upper(), 1)
    if encoding == "utf-16":
        return b"\xff\xfe" + declared.encode("utf-16-le")
    return declared.encode(encoding)


def prepare_input(work, case, twin):
    """Puts the input into `work`; gives its file name there."""
    source = os.path.join(CASES, case)
    if case.endswith(".kmz.d"):
        name = case[:-2]
        make_kmz(source, os.path.join(work, name))
        return name
    with open(source, encoding="utf-8") as file:
        text = file.read()
    data = make_twin(text, twin) if twin else text.encode("utf-8")
    with open(os.path.join(work, case), "wb") as file:
        file.write(data)
    return case


def run_tool(tool, emulator, work, options, name):
    """Runs kml2mif in `work` in English; gives the report as the expected .txt holds it."""
    env = dict(os.environ)
    env.pop("LANGUAGE", None)
    env["LC_ALL"] = env["LANG"] = "C.UTF-8"
    env["KML2MIF_WINE_LANG"] = "C.UTF-8"
    command = ([emulator] if emulator else []) + [tool] + options + [name]
    result = subprocess.run(command, cwd=work, env=env, capture_output=True, timeout=300)

    def text(data):
        return data.replace(b"\r\n", b"\n").decode("cp1252" if emulator else "utf-8",
                                                   "backslashreplace")

    return ("$ kml2mif %s\nexit status %d\nstandard output:\n%sstandard error:\n%s" %
            (" ".join(options + [name]), result.returncode, text(result.stdout),
             text(result.stderr)))


def shown_lines(data):
    """The lines of an output, decoded for reading; line ends other than CR LF made visible."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        text = data.decode("gb18030", "backslashreplace")
    lines = []
    for line in text.splitlines(keepends=True):
        if line.endswith("\r\n"):
            lines.append(line[:-2])
        elif line.endswith("\n"):
            lines.append(line[:-1] + "  <LF without CR>")
        else:
            lines.append(line.replace("\r", "<CR>") + "  <no line end>")
    return lines


def describe_difference(label, expected, actual):
    """A readable account of how `actual` differs from `expected` (bytes)."""
    first = next((i for i, (a, b) in enumerate(zip(expected, actual)) if a != b),
                 min(len(expected), len(actual)))
    out = ["--- %s: %d bytes expected, %d written; first difference at byte %d" %
           (label, len(expected), len(actual), first)]
    diff = list(difflib.unified_diff(shown_lines(expected), shown_lines(actual),
                                     "expected", "written", n=2, lineterm=""))
    out += diff[:80] + (["... (%d more lines of diff)" % (len(diff) - 80)] if len(diff) > 80 else [])
    if not diff:
        out.append("(the lines read the same: the bytes differ in their encoding or line ends)")
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--emulator")
    parser.add_argument("--update", action="store_true")
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)
    if args.update:
        os.makedirs(EXPECTED, exist_ok=True)
    failures = []
    passed = 0
    with tempfile.TemporaryDirectory(prefix="kml2mif-golden-") as scratch:
        for index, (stem, case, options, twin) in enumerate(variants()):
            label = stem + (" (%s twin)" % twin if twin else "") + (
                " " + " ".join(options) if options else "")
            work = os.path.join(scratch, str(index))
            os.makedirs(work)
            name = prepare_input(work, case, twin)
            report = run_tool(tool, args.emulator, work, options, name).encode("utf-8")
            output_stem = os.path.splitext(name)[0]
            written = {"txt": report}
            for extension in ("mif", "mid"):
                path = os.path.join(work, output_stem + "." + extension)
                written[extension] = open(path, "rb").read() if os.path.exists(path) else b""
            if args.update and twin is None:
                for extension, data in written.items():
                    with open(os.path.join(EXPECTED, stem + "." + extension), "wb") as file:
                        file.write(data)
            problems = []
            for extension, data in written.items():
                path = os.path.join(EXPECTED, stem + "." + extension)
                expected = open(path, "rb").read() if os.path.exists(path) else None
                if expected is None:
                    problems.append("--- %s.%s: no expected file" % (stem, extension))
                elif expected != data:
                    problems.append(describe_difference("%s.%s" % (stem, extension), expected,
                                                        data))
            if problems:
                failures.append("FAIL: %s\n%s" % (label, "\n".join(problems)))
            else:
                passed += 1
            shutil.rmtree(work)
    for failure in failures:
        print(failure + "\n")
    print("%d cases passed, %d failed%s" % (passed, len(failures),
                                            " (expected/ written anew)" if args.update else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
