#!/usr/bin/env python3
"""Times kml2mif against `cat in > out`, `dd conv=fsync` and ogr2ogr on KML tracks of one
coordinate line; with --full, times the full conversion instead.

Usage: bench.py KML2MIF WORKDIR [--sizes 1000,10000,...] [--reps N] [--ogr-max POINTS]
       bench.py KML2MIF WORKDIR --full [--reps N] [--placemarks N] [--track-points N]
                [--big-line-mb MB] [--big-placemarks N] [--big-description-mb MB] [--no-big]

For every size: generates the file (make_kml.py), runs each program once untimed (warm page
cache), then --reps rounds of one run of each program after the other (so that a change in the
load of the machine hits all of them alike), and takes each program's median wall time. Before every run the
outputs of the previous one are removed and `sync` empties the dirty pages, so that no run pays
for the writeback of another. Peak resident memory is what /usr/bin/time -f %M prints; the wall
time includes starting /usr/bin/time (about a millisecond). ogr2ogr runs once, without warm-up,
on files of more than 10^6 points (it takes tens of seconds there).

--full measures the full conversion (`kml2mif FILE`) in three cases: point placemarks with
names, descriptions and ExtendedData against ogr2ogr writing GBK and against the same conversion
projected into the CGCS2000 3-degree zone of the data (EPSG:4527, zone 39); a track of millions
of points in one coordinate line against `kml2mif --first-line` and projected, into EPSG:4527
and into the zone kml2mif picks (cgcs2000-gk3, which reads the file twice); and the peak memory on big files (a
LineString of gigabytes, a million placemarks, a description of 100 MB), each made in WORKDIR,
converted once and deleted. kml2mif keeps its spill files in WORKDIR (TMPDIR) there too.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The projected conversions of --full, into the zone of the generated files (Beijing, 116-117 E).
PROJECTED = "kml2mif --coordsys EPSG:4527"
AUTO_ZONE = "kml2mif --coordsys cgcs2000-gk3"


def run_once(command, stdout_path=None):
    """Runs `command` under /usr/bin/time; gives (wall seconds, peak RSS in KiB)."""
    rss_file = os.path.join(os.path.dirname(stdout_path or "/tmp/x"), ".peak-rss")
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    try:
        start = time.perf_counter()
        child = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + command,
                               stdout=out, stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
    finally:
        if stdout_path:
            out.close()
    if child.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (child.returncode, " ".join(command),
                                          child.stderr.decode(errors="replace")))
    with open(rss_file) as rss:
        peak = int(rss.read().split()[-1])
    os.remove(rss_file)
    return wall, peak


def measure(programs, reps):
    """programs: name -> (command, clean, stdout_path, reps or None, warm_up). Runs them in turn,
    one repetition of each after the other, so that all see the same load of the machine.
    Gives name -> (median wall seconds, peak RSS KiB)."""
    for command, clean, stdout_path, _, warm_up in programs.values():
        if warm_up:
            clean()
            run_once(command, stdout_path)  # the input in the page cache
    walls = {name: [] for name in programs}
    peaks = {name: 0 for name in programs}
    for rep in range(reps):
        for name, (command, clean, stdout_path, own_reps, _) in programs.items():
            if own_reps is not None and rep >= own_reps:
                continue
            clean()
            subprocess.run(["sync"], check=True)
            wall, peak = run_once(command, stdout_path)
            walls[name].append(wall)
            peaks[name] = max(peaks[name], peak)
    return {name: (statistics.median(walls[name]), peaks[name]) for name in programs}


def remove(*paths):
    for path in paths:
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)


def make_kml(kind, size, path):
    if not os.path.exists(path):
        subprocess.run([sys.executable, os.path.join(HERE, "make_kml.py"), "--kind", kind,
                        str(size), path], check=True)
    return path


def outputs(kml):
    return kml[:-3] + "mif", kml[:-3] + "mid"


def print_rows(case, kml, results):
    megabytes = os.path.getsize(kml) / 1e6
    for name, (wall, peak) in results.items():
        print("| %s | %.1f | %s | %.3f | %.0f | %.1f |" %
              (case, megabytes, name, wall, megabytes / wall, peak / 1024), flush=True)


def full_conversion(args):
    """The three cases of the full conversion; prints a table of runs and one of the aims."""
    work = args.workdir
    # Spill files on the disk of WORKDIR, which the caller chose to hold the big files.
    ours = ["env", "TMPDIR=" + work, args.kml2mif, "--quiet"]
    aims = []
    print("| case | input MB | program | median s | MB/s | peak RSS MB |")
    print("|---|---:|---|---:|---:|---:|")

    kml = make_kml("placemarks", args.placemarks, os.path.join(work, "placemarks.kml"))
    case = "%d placemarks" % args.placemarks
    ogr_out = os.path.join(work, "ogr-placemarks.mif")
    clean = lambda: remove(*outputs(kml))
    programs = {"kml2mif": (ours + [kml], clean, None, None, True),
                PROJECTED: (ours + PROJECTED.split()[1:] + [kml], clean, None, None, True)}
    ogr2ogr = shutil.which("ogr2ogr")
    if ogr2ogr:
        programs["ogr2ogr"] = (
            [ogr2ogr, "-f", "MapInfo File", "-dsco", "FORMAT=MIF", "-lco", "ENCODING=CP936",
             ogr_out, kml], lambda: remove(*outputs(ogr_out)), None, None, True)
    if args.expat_only:
        # Not a converter: the bare parse that bounds any reader built on expat.
        programs["expat alone"] = ([args.expat_only, kml], lambda: None, None, None, True)
    results = measure(programs, args.reps)
    print_rows(case, kml, results)
    if ogr2ogr:
        (our_wall, our_peak), (ogr_wall, ogr_peak) = results["kml2mif"], results["ogr2ogr"]
        aims.append((case, "ogr2ogr's time over kml2mif's", ogr_wall / our_wall, ">=", 30))
        aims.append((case, "kml2mif's peak memory over ogr2ogr's", our_peak / ogr_peak, "<=",
                     0.1))
        if args.expat_only:
            aims.append((case, "ogr2ogr's time over expat alone's (a bound for kml2mif's)",
                         ogr_wall / results["expat alone"][0], ">=", 30))
    aims.append((case, "projected time over unprojected",
                 results[PROJECTED][0] / results["kml2mif"][0], "<=", 1.5))
    remove(kml, *outputs(kml), *outputs(ogr_out))

    kml = make_kml("track", args.track_points, os.path.join(work, "track-full.kml"))
    case = "track of %d points" % args.track_points
    clean = lambda: remove(*outputs(kml))
    programs = {"kml2mif": (ours + [kml], clean, None, None, True),
                "kml2mif --first-line": (ours + ["--first-line", kml], clean, None, None, True)}
    for projected in (PROJECTED, AUTO_ZONE):
        programs[projected] = (ours + projected.split()[1:] + [kml], clean, None, None, True)
    results = measure(programs, args.reps)
    print_rows(case, kml, results)
    aims.append((case, "full conversion's time over --first-line's",
                 results["kml2mif"][0] / results["kml2mif --first-line"][0], "<=", 3))
    for projected in (PROJECTED, AUTO_ZONE):
        aims.append((case, "%s time over unprojected" % projected.split(maxsplit=1)[1],
                     results[projected][0] / results["kml2mif"][0], "<=", 3))
    remove(kml, *outputs(kml))

    if not args.no_big:
        big = [("line-bytes", args.big_line_mb * 1e6, "LineString of %.0f MB" % args.big_line_mb),
               ("placemarks", args.big_placemarks, "%d placemarks" % args.big_placemarks),
               ("description", args.big_description_mb * 1e6,
                "description of %.0f MB" % args.big_description_mb)]
        for kind, size, case in big:
            free = shutil.disk_usage(work).free
            if free < 3.5 * size * (300 if kind == "placemarks" else 1):
                print("| %s | | kml2mif | skipped: %.0f MB free in %s | | |" %
                      (case, free / 1e6, work), flush=True)
                continue
            kml = make_kml(kind, int(size), os.path.join(work, "big-%s.kml" % kind))
            results = measure({"kml2mif": (ours + [kml], lambda: remove(*outputs(kml)), None,
                                           None, False)}, 1)
            print_rows(case, kml, results)
            aims.append((case, "kml2mif's peak memory, MB", results["kml2mif"][1] / 1024, "<=",
                         32))
            remove(kml, *outputs(kml))

    print()
    print("| case | measure | value | aim | met |")
    print("|---|---|---:|---:|---|")
    for case, measure_name, value, relation, aim in aims:
        met = value >= aim if relation == ">=" else value <= aim
        print("| %s | %s | %.3g | %s %s | %s |" % (case, measure_name, value, relation, aim,
                                                   "yes" if met else "no"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kml2mif")
    parser.add_argument("workdir")
    parser.add_argument("--sizes", default="1000,10000,100000,1000000,10000000")
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--ogr-max", type=int, default=10000000,
                        help="largest point count to run ogr2ogr on")
    parser.add_argument("--full", action="store_true", help="measure the full conversion")
    parser.add_argument("--placemarks", type=int, default=100000)
    parser.add_argument("--track-points", type=int, default=3000000)
    parser.add_argument("--big-line-mb", type=float, default=2000)
    parser.add_argument("--big-placemarks", type=int, default=1000000)
    parser.add_argument("--big-description-mb", type=float, default=100)
    parser.add_argument("--no-big", action="store_true", help="leave out the big files")
    parser.add_argument("--expat-only", help="a build of bench/expat_only.c: a reference for "
                        "the placemarks (expat parsing the file and nothing else)")
    args = parser.parse_args()
    os.makedirs(args.workdir, exist_ok=True)
    if args.full:
        full_conversion(args)
        return
    ogr2ogr = shutil.which("ogr2ogr")

    print("| points | input MB | program | median s | MB/s | peak RSS MB | x cat | x kml2mif |")
    print("|---:|---:|---|---:|---:|---:|---:|---:|")
    for points in [int(size) for size in args.sizes.split(",")]:
        kml = os.path.join(args.workdir, "track%d.kml" % points)
        if not os.path.exists(kml):
            subprocess.run([sys.executable, os.path.join(HERE, "make_kml.py"), str(points), kml],
                           check=True)
        megabytes = os.path.getsize(kml) / 1e6
        base = kml[:-3]
        catted = os.path.join(args.workdir, "cat.out")
        ogr_out = os.path.join(args.workdir, "ogr%d.mif" % points)
        programs = {
            "kml2mif": ([args.kml2mif, "--quiet", "--first-line", kml],
                        lambda: remove(base + "mif", base + "mid"), None, None, True),
            "cat": (["cat", kml], lambda: remove(catted), catted, None, True),
            # A copy through user space that also waits for the disk, as kml2mif does before
            # it replaces its outputs.
            "dd-fsync": (["dd", "if=" + kml, "of=" + catted, "bs=1M", "conv=fsync", "status=none"],
                         lambda: remove(catted), None, None, True),
        }
        if ogr2ogr and points <= args.ogr_max:
            # Slow on large files: once there, the page cache being warm from the others.
            small = points <= 1000000
            programs["ogr2ogr"] = (
                [ogr2ogr, "-f", "MapInfo File", "-dsco", "FORMAT=MIF", ogr_out, kml],
                lambda: remove(ogr_out, ogr_out[:-3] + "mid"), None, None if small else 1, small)
        results = measure(programs, args.reps)
        ours = results["kml2mif"][0]
        for name, (wall, peak) in results.items():
            x_cat = "%.2f" % (wall / results["cat"][0]) if name not in ("cat", "dd-fsync") else ""
            x_ours = "%.1f" % (wall / ours) if name == "ogr2ogr" else ""
            print("| %d | %.1f | %s | %.3f | %.0f | %.1f | %s | %s |" %
                  (points, megabytes, name, wall, megabytes / wall, peak / 1024, x_cat, x_ours),
                  flush=True)
        remove(catted, ogr_out, ogr_out[:-3] + "mid", base + "mif", base + "mid")


if __name__ == "__main__":
    main()
