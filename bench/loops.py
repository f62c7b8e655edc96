#!/usr/bin/env python3
"""Times kml2mif --first-line with each set of scan loops (KML2MIF_SCAN_LOOPS) on one KML track.

Usage: loops.py KML2MIF WORKDIR [--points N] [--rounds N] [--sets portable,sse2,...]
                [--niceness N] [--callgrind-points N]

Makes the track with make_kml.py (10^7 points, 230 MB, by default), runs every set once untimed
(page cache warm, and the outputs of all sets must be the same bytes), then --rounds rounds of
one run of each set, the order turned by one set every round, so that a change in the load of
the machine and the place in the round hit every set alike. Before every run the outputs are
removed and `sync` empties the dirty pages. Prints per set the median wall time, the median
user+sys CPU time of the process (steadier on a loaded machine: it leaves out the time spent
waiting for the processor and the disk), each median over that of the set before it, and the
median over the rounds of each set's time over each simpler set's time in the same round.

With --niceness below 0 (as root), the runs take the processor ahead of other work on the
machine, so that its load stretches the wall times less.

With --callgrind-points, also counts the instructions of one run per set under callgrind on a
track of that many points (the count is the same on every run). Valgrind does not run AVX-512,
and the program then takes the fastest set that valgrind offers, so avx512 is left out there.
"""
import argparse
import hashlib
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def make_track(points, workdir):
    kml = os.path.join(workdir, "track%d.kml" % points)
    if not os.path.exists(kml):
        subprocess.run([sys.executable, os.path.join(HERE, "make_kml.py"), str(points), kml],
                       check=True)
    return kml


def remove_outputs(kml):
    for extension in ("mif", "mid"):
        path = kml[:-3] + extension
        if os.path.exists(path):
            os.remove(path)


def run(command, loops, prefix=()):
    """Runs `command` with the scan loops `loops`; gives (wall s, user+sys s, stderr)."""
    environment = dict(os.environ, KML2MIF_SCAN_LOOPS=loops)
    start = time.perf_counter()
    child = subprocess.Popen(list(prefix) + command, env=environment,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    stderr = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("failed (%d) with %s: %s\n%s" % (child.returncode, loops, " ".join(command),
                                                   stderr.decode(errors="replace")))
    return wall, (usage.ru_utime + usage.ru_stime, usage.ru_utime), stderr.decode(errors="replace")


def digest_outputs(kml):
    digest = hashlib.sha256()
    for extension in ("mif", "mid"):
        with open(kml[:-3] + extension, "rb") as output:
            for block in iter(lambda: output.read(1 << 20), b""):
                digest.update(block)
    return digest.hexdigest()


def ratio(value, before):
    return "%.3f" % (value / before) if before else ""


def time_sets(kml2mif, kml, sets, rounds, niceness):
    command = ["nice", "-n", str(niceness), kml2mif, "--quiet", "--first-line", kml]
    digests = {}
    for loops in sets:
        remove_outputs(kml)
        run(command, loops)
        digests[loops] = digest_outputs(kml)
    if len(set(digests.values())) != 1:
        sys.exit("the sets wrote different outputs: %s" % digests)
    walls = {loops: [] for loops in sets}
    cpus = {loops: [] for loops in sets}
    users = {loops: [] for loops in sets}
    for round_number in range(rounds):
        turn = round_number % len(sets)
        for loops in sets[turn:] + sets[:turn]:
            remove_outputs(kml)
            subprocess.run(["sync"], check=True)
            wall, (cpu, user), _ = run(command, loops)
            walls[loops].append(wall)
            cpus[loops].append(cpu)
            users[loops].append(user)
    remove_outputs(kml)
    print("| set | median wall s | min wall s | wall / set before | median user+sys s |"
          " user+sys / set before | median user s |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    before = None
    for loops in sets:
        wall = statistics.median(walls[loops])
        cpu = statistics.median(cpus[loops])
        print("| %s | %.3f | %.3f | %s | %.3f | %s | %.3f |" %
              (loops, wall, min(walls[loops]), ratio(wall, before and before[0]), cpu,
               ratio(cpu, before and before[1]), statistics.median(users[loops])), flush=True)
        before = (wall, cpu)
    # The same round's runs against each other: steadier than a ratio of medians when the load
    # of the machine drifts over the rounds.
    print()
    print("| set | " + " | ".join("wall / %s, per round | user+sys / %s, per round" %
                                   (simpler, simpler) for simpler in sets[:-1]) + " |")
    print("|---|" + "---:|---:|" * (len(sets) - 1))
    for index, loops in enumerate(sets[1:], 1):
        cells = []
        for simpler in sets[:-1]:
            if sets.index(simpler) >= index:
                cells += ["", ""]
                continue
            cells += ["%.3f" % statistics.median(
                ours / theirs for ours, theirs in zip(runs[loops], runs[simpler]))
                for runs in (walls, cpus)]
        print("| %s | %s |" % (loops, " | ".join(cells)), flush=True)


def count_instructions(kml2mif, kml, sets):
    print("| set | instructions (callgrind) | / set before |")
    print("|---|---:|---:|")
    before = None
    for loops in sets:
        if loops == "avx512":
            continue
        remove_outputs(kml)
        _, _, stderr = run([kml2mif, "--quiet", "--first-line", kml], loops,
                           ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"])
        collected = [line for line in stderr.splitlines() if "Collected :" in line]
        instructions = int(collected[-1].split(":")[-1].strip())
        print("| %s | %d | %s |" % (loops, instructions, ratio(instructions, before)), flush=True)
        before = instructions
    remove_outputs(kml)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kml2mif")
    parser.add_argument("workdir")
    parser.add_argument("--points", type=int, default=10000000)
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--sets", default="portable,sse2,avx512",
                        help="simplest first")
    parser.add_argument("--niceness", type=int, default=0)
    parser.add_argument("--callgrind-points", type=int, default=0)
    args = parser.parse_args()
    os.makedirs(args.workdir, exist_ok=True)
    sets = args.sets.split(",")
    kml = make_track(args.points, args.workdir)
    print("%d points, %.1f MB, %d rounds, niceness %d" % (
        args.points, os.path.getsize(kml) / 1e6, args.rounds, args.niceness))
    print()
    time_sets(args.kml2mif, kml, sets, args.rounds, args.niceness)
    if args.callgrind_points:
        small = make_track(args.callgrind_points, args.workdir)
        print()
        print("%d points, %.1f MB, one run per set" % (args.callgrind_points,
                                                       os.path.getsize(small) / 1e6))
        print()
        count_instructions(args.kml2mif, small, sets)


if __name__ == "__main__":
    main()
