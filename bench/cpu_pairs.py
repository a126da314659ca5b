#!/usr/bin/env python3
"""CPU of two commands run in turn, A B A B ..., one process each.

    cpu_pairs.py PAIRS -- COMMAND_A... -- COMMAND_B...

Prints the median CPU (user + sys, from wait4) of A and of B in milliseconds, and the median
of the pairs' ratios A/B. A process's CPU from wait4 is exact to the microsecond, fine enough
for runs of a few milliseconds, and taking the commands in turn keeps a drift of the
machine's speed out of the ratio.
"""
import os
import statistics
import sys


def cpu_seconds(argv):
    """CPU seconds (user + sys) of argv and the descendants it waited for, output discarded."""
    null = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_WRONLY, 0) for fd in (1, 2)]
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=null)
    _, status, usage = os.wait4(pid, 0)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit(f"{os.path.basename(sys.argv[0])}: {' '.join(argv)} failed")
    return usage.ru_utime + usage.ru_stime


def main():
    usage = "usage: cpu_pairs.py PAIRS -- COMMAND_A... -- COMMAND_B..."
    args = sys.argv[1:]
    if len(args) < 4 or args[1] != "--" or "--" not in args[2:] or not args[0].isdigit():
        sys.exit(usage)
    pairs = int(args[0])
    split = args.index("--", 2)
    a, b = args[2:split], args[split + 1:]
    if pairs < 1 or not a or not b:
        sys.exit(usage)
    times = [(cpu_seconds(a), cpu_seconds(b)) for _ in range(pairs)]
    ratio = statistics.median(x / y for x, y in times)
    print(f"{statistics.median(x for x, _ in times) * 1e3:.3f} "
          f"{statistics.median(y for _, y in times) * 1e3:.3f} {ratio:.2f}")


if __name__ == "__main__":
    main()
