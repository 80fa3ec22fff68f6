"""What both benchmark scripts need: timing a child, its peak memory, the machine, and
printing the table and the verdict."""
import os
import sys
import time

GNU_TIME = "/usr/bin/time"


def spawn(argv, cwd, stdout_path="/dev/null", status=0):
    """Runs argv in cwd to completion, standard output to stdout_path; returns its
    (wall, user + system CPU) seconds. Ends the benchmark when the exit status is not
    `status`."""
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
    ]
    old = os.getcwd()
    os.chdir(cwd)
    try:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
        _, wait_status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
    finally:
        os.chdir(old)
    if not os.WIFEXITED(wait_status) or os.WEXITSTATUS(wait_status) != status:
        sys.exit("bench: %s: wait status %d, expected exit %d; its output is in %s"
                 % (" ".join(argv), wait_status, status, stdout_path))
    return seconds, usage.ru_utime + usage.ru_stime


def peak_rss_kib(argv, cwd, stdout_path="/dev/null", status=0):
    """One more run under GNU time for the peak resident set.

    Linux keeps a process's peak across exec, so a child spawned straight from this
    (large) Python process would report Python's own size; GNU time is small.
    """
    report = os.path.join(cwd, "rss.txt")
    spawn([GNU_TIME, "-f", "%M", "-o", report] + argv, cwd, stdout_path, status)
    with open(report) as f:
        return int(f.read().split()[-1])


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        total_kib = int(f.readline().split()[1])
    return "%s, %d cores, %.1f GiB" % (model, os.cpu_count(), total_kib / 1024 / 1024)


def print_table(head, rows):
    """Columns as wide as their widest cell: the first two left-aligned, the rest right,
    a rule under the heading."""
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    for i, r in enumerate([head] + rows):
        cells = [c.ljust(widths[k]) if k < 2 else c.rjust(widths[k]) for k, c in enumerate(r)]
        print("  ".join(cells).rstrip())
        if i == 0:
            print("-" * (sum(widths) + 2 * (len(widths) - 1)))


def verdict_status(failures):
    """Prints which targets were missed, or that all were met; the exit status."""
    if failures:
        print("targets missed: " + "; ".join(failures))
        return 1
    print("all targets met")
    return 0
