#!/usr/bin/env python3
"""Times c6x_velm on the benchmark inputs and prints the table (bench/run.sh runs this).

Every command is started with posix_spawn, its standard output sent to a file, and
reaped with wait4, which also gives its user and system CPU time. Each command runs
once to warm the page cache, then --runs times; the commands that are compared (a
conversion and the copy it is measured against) run interleaved, round by round, so
that a busy moment of the machine hits both sides of a ratio alike. Times are medians.
The peak resident set of each tool run is taken in one extra run under GNU time.
"""

import argparse
import os
import statistics
import sys
import time

MIB = 1024 * 1024

# Targets: TEXT within 3x of copying its own output, BINARY within 2x of copying the
# input, TEXT of the .text input at most a quarter of the fprintf-per-word program, and
# peak resident memory under 8 MiB.
TEXT_VS_CP = 3.0
BINARY_VS_CP = 2.0
TEXT_VS_FPRINTF = 0.25
RSS_LIMIT_KIB = 8 * 1024

GNU_TIME = "/usr/bin/time"
CP = "/bin/cp"
XXD = "/usr/bin/xxd"

INPUTS = [
    ("a", "text", "4 MiB, one .text section"),
    ("b", "cinit", ".cinit, 349,515 entries"),
    ("c", "sections", "65,535 section headers"),
    ("d", "elf", "ELF, one 4 MiB section"),
]


def spawn(argv, stdout_path, cwd):
    """Runs argv in cwd to completion; returns its (wall, user + system CPU) seconds."""
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
    ]
    old = os.getcwd()
    os.chdir(cwd)
    try:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
    finally:
        os.chdir(old)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit("bench: %s failed (wait status %d); its output is in %s"
                 % (" ".join(argv), status, stdout_path))
    return seconds, usage.ru_utime + usage.ru_stime


def peak_rss_kib(argv, stdout_path, cwd):
    """One more run under GNU time for the peak resident set.

    Linux keeps a process's peak across exec, so a child spawned straight from this
    (large) Python process would report Python's own size; GNU time is small.
    """
    report = os.path.join(cwd, "rss.txt")
    spawn([GNU_TIME, "-f", "%M", "-o", report] + argv, stdout_path, cwd)
    with open(report) as f:
        return int(f.read().split()[-1])


class Job:
    """A command, the file it writes (removed before every run, so that each run creates
    its output the same way), and its times."""

    def __init__(self, name, argv, stdout_name, output=None):
        self.name = name
        self.argv = argv
        self.stdout_name = stdout_name
        self.output = output
        self.times = []
        self.cpu = []
        self.rss = None

    def run(self, cwd, keep):
        if self.output is not None:
            try:
                os.unlink(os.path.join(cwd, self.output))
            except FileNotFoundError:
                pass
        seconds, cpu = spawn(self.argv, os.path.join(cwd, self.stdout_name), cwd)
        if keep:
            self.times.append(seconds)
            self.cpu.append(cpu)

    def measure_rss(self, cwd):
        self.rss = peak_rss_kib(self.argv, os.path.join(cwd, self.stdout_name), cwd)

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


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        total_kib = int(f.readline().split()[1])
    return "%s, %d cores, %.1f GiB" % (model, os.cpu_count(), total_kib / MIB)


def ms(seconds):
    return "%.2f" % (seconds * 1000)


def verdict(ok):
    return "ok" if ok else "MISSED"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True, help="the release c6x_velm")
    ap.add_argument("--fprintf", required=True, help="the fprintf-per-word baseline")
    ap.add_argument("--data", required=True, help="directory holding the inputs")
    ap.add_argument("--runs", type=int, default=7)
    args = ap.parse_args()
    if args.runs < 5:
        sys.exit("bench: at least 5 runs")
    tool = os.path.abspath(args.tool)
    data = os.path.abspath(args.data)

    table = []     # printed rows
    failures = []  # targets missed

    def row(name, mode, job, out_bytes, ratio=None, cpu_ratio=None, limit=None):
        """One table line; a tool run is checked against its ratio limit and the RSS limit."""
        mark = ""
        if job.rss is not None:
            ok = job.rss < RSS_LIMIT_KIB and (limit is None or ratio <= limit)
            mark = verdict(ok)
            if not ok:
                failures.append("%s %s" % (name, mode))
        table.append((name, mode, ms(job.median), ms(job.cpu_median),
                      "" if job.rss is None else str(job.rss), str(out_bytes),
                      "" if ratio is None else "%.2f" % ratio,
                      "" if cpu_ratio is None else "%.2f" % cpu_ratio,
                      "" if limit is None else "<= %g" % limit, mark))

    text_argv = None
    for label, stem, what in INPUTS:
        src = stem + ".out"
        text = Job("TEXT", [tool, src, stem + ".c"], stem + ".text.log", stem + ".c")
        cp_text = Job("cp", [CP, stem + ".c", stem + ".copy.c"], "cp.log", stem + ".copy.c")
        binary = Job("BINARY", [tool, src, stem + ".velm", "-b"], stem + ".binary.log",
                     stem + ".velm")
        cp_input = Job("cp", [CP, src, stem + ".copy.out"], "cp.log", stem + ".copy.out")
        listing = Job("-d", [tool, src, "-d"], stem + ".dir.log")
        # The TEXT output must exist before the first copy of it.
        text.run(data, keep=False)
        run_group([text, cp_text, binary, cp_input, listing], data, args.runs)
        for job in (text, binary, listing):
            job.measure_rss(data)
        if stem == "text":
            text_argv = text.argv

        def size(name):
            return os.path.getsize(os.path.join(data, name))

        name = "(%s) %s" % (label, what)
        row(name, "TEXT", text, size(stem + ".c"), text.median / cp_text.median,
            text.cpu_median / cp_text.cpu_median, TEXT_VS_CP)
        row(name, "cp TEXT output", cp_text, size(stem + ".c"))
        row(name, "BINARY", binary, size(stem + ".velm"), binary.median / cp_input.median,
            binary.cpu_median / cp_input.cpu_median, BINARY_VS_CP)
        row(name, "cp input", cp_input, size(src))
        row(name, "-d", listing, size(stem + ".dir.log"))

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
    print("ratio = wall time / wall time of the copy it is measured against (cpu ratio: the"
          " same in user + system CPU time); RSS = peak resident set")
    print()
    head = ("input", "mode", "wall ms", "cpu ms", "RSS KiB", "out bytes", "ratio",
            "cpu ratio", "target", "")
    widths = [max(len(r[i]) for r in table + [head]) for i in range(len(head))]
    for i, r in enumerate([head] + table):
        cells = [c.ljust(widths[k]) if k < 2 else c.rjust(widths[k]) for k, c in enumerate(r)]
        print("  ".join(cells).rstrip())
        if i == 0:
            print("-" * (sum(widths) + 2 * (len(widths) - 1)))
    print()
    print("(a) TEXT of the .text section:  %s ms" % ms(tool_text.median))
    print("    fprintf per word:          %s ms   TEXT / fprintf = %.3f  (target <= %.2f) %s"
          % (ms(fprintf_words.median), f_ratio, TEXT_VS_FPRINTF,
             verdict(f_ratio <= TEXT_VS_FPRINTF)))
    print("    xxd -i:                    %s ms   TEXT / xxd -i  = %.3f"
          % (ms(xxd.median), x_ratio))
    print()
    print("peak RSS limit: %d KiB for every run of the tool" % RSS_LIMIT_KIB)
    if failures:
        print("targets missed: " + "; ".join(failures))
        return 1
    print("all targets met")
    return 0


if __name__ == "__main__":
    sys.exit(main())
