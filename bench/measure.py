#!/usr/bin/env python3
"""Times c6x_velm on the benchmark inputs, counts its instructions, and prints the table
(bench/run.sh runs this).

Wall time. Every command is started with posix_spawn, its standard output sent to a
file, and reaped with wait4, which also gives its user and system CPU time. Each command
runs once to warm the page cache, then --runs times; a run of the tool and the copy it is
measured against run interleaved, round by round, so that a busy moment of the machine
hits both sides of a ratio alike. Times are medians. Each conversion (TEXT and BINARY) is
measured against `cp` of the file it wrote, the -d listing against `cp` of the listing.
Beside each BINARY run, io_floor shows the least any conversion must spend on its files:
it maps the input, reads it once and writes the same numbers of bytes, the image to a
file and the progress text to standard output, without looking at them.
The peak resident set of each tool run is taken in one extra run under GNU time.

Instructions. Each tool run once more under callgrind (valgrind), which counts the
instructions the program executes: a figure that does not depend on the machine's load,
and the pass/fail line of the benchmark. Skipped, and said so, without valgrind.
"""

import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys

from bench_common import machine, peak_rss_kib, print_table, spawn, verdict_status


# Wall-time targets: a conversion within 1.5x of copying its own output, a listing within
# 2x of copying the listing; peak resident memory under 8 MiB.
CONVERSION_VS_CP = 1.5
LISTING_VS_CP = 2.0
TEXT_VS_FPRINTF = 0.25
RSS_LIMIT_KIB = 8 * 1024

# Instruction budgets: TEXT per output byte; BINARY per record and per output byte; -d
# per listed line. The -d budget is judged on listings of at least LISTING_JUDGED lines:
# below that a run's fixed cost (starting the program, reading the headers) is nearly
# all of it.
TEXT_PER_BYTE = 2.5
BINARY_PER_RECORD = 100
BINARY_PER_BYTE = 2.5
LISTING_PER_LINE = 300
LISTING_JUDGED = 1000

CP = "/bin/cp"
XXD = "/usr/bin/xxd"

INPUTS = [
    ("a", "text", "4 MiB, one .text section"),
    ("b", "cinit", ".cinit, 349,515 entries"),
    ("c", "sections", "65,535 section headers"),
    ("d", "elf", "ELF, one 4 MiB section"),
]

END_RECORD_TAG = 0xFFFF3B09


def instructions(argv, stdout_path, cwd):
    """The instructions one run executes, counted by callgrind."""
    log = os.path.join(cwd, "callgrind.log")
    cmd = ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
           "--log-file=" + log] + argv
    with open(stdout_path, "wb") as out:
        done = subprocess.run(cmd, cwd=cwd, stdout=out, stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        sys.exit("bench: %s failed under callgrind" % " ".join(argv))
    with open(log) as f:
        found = re.search(r"Collected : (\d+)", f.read())
    if not found:
        sys.exit("bench: no instruction count in %s" % log)
    return int(found.group(1))


def count_records(path):
    """Records in a BINARY image, the end record included."""
    with open(path, "rb") as f:
        data = f.read()
    at = 0
    records = 0
    while at + 12 <= len(data):
        tag, _, length = struct.unpack_from("<III", data, at)
        records += 1
        if tag == END_RECORD_TAG:
            break
        at += 12 + (length + 3) // 4 * 4
    return records


def count_listed_lines(path):
    """Section lines of a -d listing: two blanks, then the index."""
    with open(path, "rb") as f:
        return sum(1 for line in f.read().split(b"\r\n") if re.match(rb"  \d{3,} ", line))


class Job:
    """A command, the file it writes and the file its standard output goes to (both
    removed before every run, so that each run creates them the same way and none pays
    for freeing what the run before it left), and its times."""

    def __init__(self, name, argv, stdout_name, output=None):
        self.name = name
        self.argv = argv
        self.stdout_name = stdout_name
        self.output = output
        self.times = []
        self.cpu = []
        self.rss = None

    def run(self, cwd, keep):
        for name in (self.output, self.stdout_name):
            if name is not None:
                try:
                    os.unlink(os.path.join(cwd, name))
                except FileNotFoundError:
                    pass
        seconds, cpu = spawn(self.argv, cwd, os.path.join(cwd, self.stdout_name))
        if keep:
            self.times.append(seconds)
            self.cpu.append(cpu)

    def measure_rss(self, cwd):
        self.rss = peak_rss_kib(self.argv, cwd, os.path.join(cwd, self.stdout_name))

    @property
    def median(self):
        return statistics.median(self.times)

    @property
    def cpu_median(self):
        return statistics.median(self.cpu)


def run_group(jobs, cwd, runs):
    for job in jobs:
        job.run(cwd, keep=False)
    for _ in range(runs):
        for job in jobs:
            job.run(cwd, keep=True)


def ms(seconds):
    return "%.2f" % (seconds * 1000)


def millions(n):
    return "%.2f" % (n / 1e6)


def verdict(ok):
    return "ok" if ok else "MISSED"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True, help="the release c6x_velm")
    ap.add_argument("--fprintf", required=True, help="the fprintf-per-word baseline")
    ap.add_argument("--io-floor", required=True, help="the least-I/O yardstick")
    ap.add_argument("--data", required=True, help="directory holding the inputs")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--no-callgrind", action="store_true", help="skip the instruction counts")
    args = ap.parse_args()
    if args.runs < 5:
        sys.exit("bench: at least 5 runs")
    tool = os.path.abspath(args.tool)
    io_floor = os.path.abspath(args.io_floor)
    data = os.path.abspath(args.data)
    callgrind = not args.no_callgrind and shutil.which("valgrind") is not None

    wall_rows = []
    count_rows = []
    failures = []

    def wall_row(name, mode, job, copy, out_bytes, limit, floor=None):
        ratio = job.median / copy.median
        ok = ratio <= limit and job.rss < RSS_LIMIT_KIB
        if not ok:
            failures.append("%s %s: wall time or memory" % (name, mode))
        floor_ratio = "-" if floor is None else "%.2f" % (floor.median / copy.median)
        wall_rows.append((name, mode, ms(job.median), ms(copy.median), "%.2f" % ratio,
                          "%.2f" % (job.cpu_median / copy.cpu_median), "<= %g" % limit,
                          floor_ratio, str(job.rss), str(out_bytes), verdict(ok)))

    def count_row(name, mode, job, unit_text, budget, judged=True):
        count = instructions(job.argv, os.path.join(data, job.stdout_name), data)
        ok = count <= budget
        if judged and not ok:
            failures.append("%s %s: instructions" % (name, mode))
        count_rows.append((name, mode, millions(count), unit_text,
                           millions(budget) if judged else "-",
                           verdict(ok) if judged else "not judged"))

    text_argv = None
    for label, stem, what in INPUTS:
        src = stem + ".out"
        text = Job("TEXT", [tool, src, stem + ".c"], stem + ".text.log", stem + ".c")
        cp_text = Job("cp", [CP, stem + ".c", stem + ".copy.c"], "cp.log", stem + ".copy.c")
        binary = Job("BINARY", [tool, src, stem + ".velm", "-b"], stem + ".binary.log",
                     stem + ".velm")
        cp_binary = Job("cp", [CP, stem + ".velm", stem + ".copy.velm"], "cp.log",
                        stem + ".copy.velm")
        listing = Job("-d", [tool, src, "-d"], stem + ".dir.log")
        cp_listing = Job("cp", [CP, stem + ".dir.log", stem + ".copy.log"], "cp.log",
                         stem + ".copy.log")
        # Every output must exist before the first copy of it, and the yardstick writes
        # as many bytes as the BINARY run.
        for job in (text, binary, listing):
            job.run(data, keep=False)
        floor = Job("floor", [io_floor, src, stem + ".floor",
                              str(os.path.getsize(os.path.join(data, stem + ".velm"))),
                              str(os.path.getsize(os.path.join(data, binary.stdout_name)))],
                    "floor.log", stem + ".floor")
        run_group([text, cp_text, binary, cp_binary, floor, listing, cp_listing], data,
                  args.runs)
        for job in (text, binary, listing):
            job.measure_rss(data)
        if stem == "text":
            text_argv = text.argv

        def size(name):
            return os.path.getsize(os.path.join(data, name))

        name = "(%s) %s" % (label, what)
        text_bytes = size(stem + ".c")
        binary_bytes = size(stem + ".velm")
        listing_bytes = size(stem + ".dir.log")
        wall_row(name, "TEXT", text, cp_text, text_bytes, CONVERSION_VS_CP)
        wall_row(name, "BINARY", binary, cp_binary, binary_bytes, CONVERSION_VS_CP, floor)
        wall_row(name, "-d", listing, cp_listing, listing_bytes, LISTING_VS_CP)

        if callgrind:
            records = count_records(os.path.join(data, stem + ".velm"))
            lines = count_listed_lines(os.path.join(data, stem + ".dir.log"))
            count_row(name, "TEXT", text, "%d bytes" % text_bytes, TEXT_PER_BYTE * text_bytes)
            count_row(name, "BINARY", binary, "%d records, %d bytes" % (records, binary_bytes),
                      BINARY_PER_RECORD * records + BINARY_PER_BYTE * binary_bytes)
            count_row(name, "-d", listing, "%d lines" % lines, LISTING_PER_LINE * lines,
                      judged=lines >= LISTING_JUDGED)

    # The .text section alone through the two baselines, interleaved with the tool.
    tool_text = Job("TEXT", text_argv, "text.text.log", "text.c")
    fprintf_words = Job("fprintf", [os.path.abspath(args.fprintf), "text.section",
                                    "text.fprintf.c"], "fprintf.log", "text.fprintf.c")
    xxd = Job("xxd", [XXD, "-i", "text.section"], "text.xxd.c")
    run_group([tool_text, fprintf_words, xxd], data, args.runs)
    with open(os.path.join(data, "text.c"), "rb") as f:
        produced = f.read()
    with open(os.path.join(data, "text.fprintf.c"), "rb") as f:
        if f.read() not in produced:
            sys.exit("bench: the fprintf baseline's words differ from the tool's TEXT output")
    f_ratio = tool_text.median / fprintf_words.median
    x_ratio = tool_text.median / xxd.median
    if f_ratio > TEXT_VS_FPRINTF:
        failures.append("(a) TEXT / fprintf per word")

    print("machine: %s; load average at the end %.2f" % (machine(), os.getloadavg()[0]))
    print("%d timed runs per command after one warm-up; medians; standard output to a file;"
          % args.runs)
    print("ratio = wall time / wall time of cp of the file the run wrote (its output, or the"
          " listing for -d); cpu ratio: the same in user + system CPU time; least I/O: the"
          " same ratio for io_floor, which only reads the input and writes as many bytes as"
          " the BINARY run, image and console; RSS = peak resident set")
    print()
    print_table(("input", "mode", "wall ms", "cp ms", "ratio", "cpu ratio", "target",
                 "least I/O", "RSS KiB", "out bytes", ""), wall_rows)
    print()
    if callgrind:
        print("instructions (callgrind, millions); budgets: TEXT %g per output byte, BINARY %g"
              " per record + %g per output byte, -d %g per listed line (judged from %d lines)"
              % (TEXT_PER_BYTE, BINARY_PER_RECORD, BINARY_PER_BYTE, LISTING_PER_LINE,
                 LISTING_JUDGED))
        print()
        print_table(("input", "mode", "instr M", "counted", "budget M", ""), count_rows)
    else:
        print("instructions: not counted (no valgrind, or --no-callgrind)")
    print()
    print("(a) TEXT of the .text section:  %s ms" % ms(tool_text.median))
    print("    fprintf per word:          %s ms   TEXT / fprintf = %.3f  (target <= %.2f) %s"
          % (ms(fprintf_words.median), f_ratio, TEXT_VS_FPRINTF,
             verdict(f_ratio <= TEXT_VS_FPRINTF)))
    print("    xxd -i:                    %s ms   TEXT / xxd -i  = %.3f"
          % (ms(xxd.median), x_ratio))
    print()
    print("peak RSS limit: %d KiB for every run of the tool" % RSS_LIMIT_KIB)
    return verdict_status(failures)


if __name__ == "__main__":
    sys.exit(main())
