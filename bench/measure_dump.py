#!/usr/bin/env python3
"""Times velm_dump on the large images and prints the table (bench/run_dump.sh runs this).

Every command runs once to warm the page cache, then --runs times (at least 21 times on
an image that cat reads in under 50 ms), its standard output to /dev/null; --check and
`cat image > /dev/null`, which it is measured against, run interleaved, round by round.
Times are medians; CPU is user + system time from wait4. The peak resident set of each
command is taken in one extra run under GNU time (Linux keeps a process's peak across
exec, so a child of this Python process would report Python's own size).

Targets: --check within 2x the time of cat for a BINARY image and 4x for a TEXT image
that c6x_velm writes;
in every mode a peak resident set of at most 16 MiB plus 32 bytes for every record read
(both images' records for --diff).
"""

import argparse
import os
import statistics
import struct
import sys

from bench_common import machine, peak_rss_kib, print_table, spawn, verdict_status

CAT = "/bin/cat"
CHECK_VS_CAT = {"BINARY": 2.0, "TEXT": 4.0}
MANY_RECORDS = 10_000_000
SHORT = 0.05  # seconds of cat, below which an image gets SHORT_RUNS rounds at least
SHORT_RUNS = 21

# name, encoding, records (the end record counted), the other image for --diff and
# whether the two differ.
IMAGES = [
    ("big.bin", "BINARY", 1025, "big2.bin", True),
    ("mid.c", "TEXT", 556, "mid2.c", True),
    ("cinit.bin", "BINARY", 349516, "cinit2.bin", False),
    ("many.bin", "BINARY", MANY_RECORDS + 1, "many2.bin", False),
]
# The image of ten million records is not one c6x_velm writes: it measures what grows
# with the records, and has no target for its time.
NO_TIME_TARGET = {"many.bin"}


def write_many(path):
    """Ten million cinit records of 4 bytes each, then the end record."""
    with open(path, "wb") as f:
        for start in range(0, MANY_RECORDS, 100_000):
            f.write(b"".join(struct.pack("<4I", 0x90013B09, 0x80000000 + 8 * i, 4, i)
                             for i in range(start, start + 100_000)))
        f.write(struct.pack("<3I", 0xFFFF3B09, 0, 0))


class Job:
    def __init__(self, argv, status=0):
        self.argv = argv
        self.status = status
        self.times = []
        self.cpu = []

    def run(self, cwd, keep=True):
        seconds, cpu = spawn(self.argv, cwd, status=self.status)
        if keep:
            self.times.append(seconds)
            self.cpu.append(cpu)
        return seconds

    @property
    def wall(self):
        return statistics.median(self.times)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--write-many", help="write the image of ten million records and stop")
    ap.add_argument("--tool", help="the release velm_dump")
    ap.add_argument("--data", help="directory holding the images")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    if args.write_many:
        write_many(args.write_many)
        return 0
    tool = os.path.abspath(args.tool)
    data = os.path.abspath(args.data)

    rows = []
    failures = []
    for name, encoding, records, other, differ in IMAGES:
        size = os.path.getsize(os.path.join(data, name))
        cat = Job([CAT, name])
        modes = [("--check", Job([tool, "--check", name]), records),
                 ("listing", Job([tool, name]), records),
                 ("--json", Job([tool, "--json", name]), records),
                 ("--diff", Job([tool, "--diff", name, other], 1 if differ else 0), 2 * records)]
        warm = [job.run(data, keep=False) for job in [cat] + [m[1] for m in modes]]
        # A run of a few milliseconds is at the mercy of whatever else the machine does
        # in those milliseconds: such an image gets more rounds.
        runs = args.runs if warm[0] >= SHORT else max(args.runs, SHORT_RUNS)
        for _ in range(runs):
            for job in [cat] + [m[1] for m in modes]:
                job.run(data)
        rows.append((name, "cat", cat, None, None, None))
        for mode, job, counted in modes:
            rss = peak_rss_kib(job.argv, data, status=job.status)
            limit = 16 * 1024 + (32 * counted + 1023) // 1024
            ratio = job.wall / cat.wall if mode == "--check" else None
            target = CHECK_VS_CAT[encoding] if mode == "--check" else None
            if name in NO_TIME_TARGET:
                target = None
            ok = rss <= limit and (target is None or ratio <= target)
            if not ok:
                failures.append("%s %s" % (name, mode))
            rows.append((name, mode, job, rss, limit, (ratio, target, ok)))
        print("%s: %s, %d bytes, %d records" % (name, encoding, size, records), flush=True)

    print()
    print("machine: %s; load average at the end %.2f" % (machine(), os.getloadavg()[0]))
    print("%d timed runs per command after one warm-up (%d where cat takes under %g s); "
          "medians; standard output to /dev/null" % (args.runs, max(args.runs, SHORT_RUNS), SHORT))
    print()
    head = ("image", "mode", "wall s", "cpu s", "peak RSS KiB", "RSS limit KiB", "x cat",
            "target", "")
    table = []
    for name, mode, job, rss, limit, check in rows:
        ratio, target, ok = check if check else (None, None, None)
        table.append((name, mode, "%.3f" % job.wall, "%.3f" % statistics.median(job.cpu),
                      "" if rss is None else str(rss), "" if limit is None else str(limit),
                      "" if ratio is None else "%.2f" % ratio,
                      "" if target is None else "<= %g" % target,
                      "" if ok is None else ("ok" if ok else "MISSED")))
    print_table(head, table)
    print()
    return verdict_status(failures)


if __name__ == "__main__":
    sys.exit(main())
