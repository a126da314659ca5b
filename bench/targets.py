#!/usr/bin/env python3
"""The performance targets in one table, everything measured in the same run (scripts/bench.sh
prepares the install tree, the catalogues and the builds, then calls this).

Whole runs: each process's CPU (user + sys) from wait4 and its peak resident set, the cases of
one round taken in turn (bare run, 100k, reference, 1M, and back in the next round), RUNS
rounds, medians shown; ratios are medians of the rounds' ratios, so a drift of the machine's
speed stays out of them.
Components: the Google Benchmark programs' bytes per second against their own memcpy of the
same bytes, medians of 5 repetitions: against the copy with the bytes out of the caches (as a
component meets them) and, in brackets, with them in the caches.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess

from cpu_pairs import cpu_seconds

SHOW_BEFORE_README = 0.28  # CPU s of `show` at 100k in the README before this round

# Program, the benchmark, what it is, the target ratio to the program's BM_Memcpy.
COMPONENTS = [
    ("voc_io_bench", "BM_ReadFromFile", ".voc reader from file", 0.20),
    ("voc_io_bench", "BM_Write", ".voc writer", 0.25),
    ("printer_bench", "BM_Print", "printer", 0.20),
    ("catalog_bench", "BM_ParseCatalog", "catalogue", 0.15),
]


def run(argv, work):
    """CPU seconds and peak resident KiB of argv. The peak comes from GNU time, which starts
    argv from its own small image: a process spawned from here would count this Python's
    memory as its own (a child's peak includes what it held before exec)."""
    peak = os.path.join(work, "peak")
    cpu = cpu_seconds(["/usr/bin/time", "-f", "%M", "-o", peak, *argv])
    with open(peak, encoding="utf-8") as text:
        return cpu, int(text.read().split()[-1])


def median(values):
    return statistics.median(values)


UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def bytes_per_second(program):
    """Median bytes per second of each benchmark of the program (by name before any '/'),
    and under "cpu" the median CPU seconds of an iteration of each."""
    out = subprocess.run([program, "--benchmark_format=json", "--benchmark_repetitions=5"],
                         check=True, capture_output=True, text=True).stdout
    rates, cpu = {}, {}
    for entry in json.loads(out)["benchmarks"]:
        if entry.get("run_type") == "iteration" and "bytes_per_second" in entry:
            name = entry["run_name"].split("/")[0]
            rates.setdefault(name, []).append(entry["bytes_per_second"])
            cpu.setdefault(name, []).append(entry["cpu_time"] * UNIT_SECONDS[entry["time_unit"]])
    result = {name: median(values) for name, values in rates.items()}
    result["cpu"] = {name: median(values) for name, values in cpu.items()}
    return result


def quick_path_row(measured, run_cpu):
    """The reader's second path, for the writer's own spelling, against the general
    productions alone: the CPU it saves on one read of 100k guest OSes, over a whole run."""
    what = "reader's quick path: CPU saved / run at 100k"
    rates = measured.get("voc_io_bench")
    if not isinstance(rates, dict) or not {"BM_ReadGeneralSpelling", "BM_ReadFromFile"} <= rates["cpu"].keys():
        return (what, "no rows", ">= 0.03")
    saved = rates["cpu"]["BM_ReadGeneralSpelling"] - rates["cpu"]["BM_ReadFromFile"]
    return (f"{what} ({saved * 1e3:.0f} ms)", f"{saved / run_cpu:.2f}", ">= 0.03")


def components(bench_dir, measured):
    rows = []
    for program, name, what, target in COMPONENTS:
        path = os.path.join(bench_dir, program)
        if not os.access(path, os.X_OK):
            rows.append((f"{what} / memcpy ({program})", "not built", f">= {target:.2f}"))
            continue
        if program not in measured:
            try:
                measured[program] = bytes_per_second(path)
            except (subprocess.CalledProcessError, ValueError, KeyError) as error:
                measured[program] = error
        rates = measured[program]
        if isinstance(rates, Exception):
            value = "failed"
        elif any(n not in rates for n in (name, "BM_MemcpyCold", "BM_Memcpy")):
            value = "no " + next(n for n in (name, "BM_MemcpyCold", "BM_Memcpy") if n not in rates)
        else:
            cold, hot = rates[name] / rates["BM_MemcpyCold"], rates[name] / rates["BM_Memcpy"]
            value = f"{cold:.2f} ({hot:.2f})"
            what += (f" ({rates[name] / 1e6:.0f} / {rates['BM_MemcpyCold'] / 1e6:.0f}"
                     f" ({rates['BM_Memcpy'] / 1e6:.0f}) MB/s)")
        rows.append((f"{what} / memcpy", value, f">= {target:.2f}"))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", required=True)
    parser.add_argument("--agent", required=True)
    parser.add_argument("--voc", required=True, help="the file a run of the agent writes")
    parser.add_argument("--reference", required=True)
    parser.add_argument("--bench", required=True, help="the folder of the benchmark programs")
    parser.add_argument("--baseline", help="an earlier agent to compare `show` with")
    parser.add_argument("--baseline-name", default="baseline")
    args = parser.parse_args()

    catalog = {n: os.path.join(args.work, f"catalog-{n}.json") for n in (100000, 1000000)}
    voc100k = os.path.join(args.work, "voc-100000.voc")
    reference_voc = os.path.join(args.work, "reference.voc")

    def publish(argv, written):
        # Each run writes a new file: replacing the last one would bill this run for
        # freeing that one (about 35 ms of system time for the 1M file here).
        if os.path.exists(written):
            os.remove(written)
        return run(argv, args.work)

    def in_turn(steps, times):
        """Each step `times` times, in one order and then in the reverse: no case always
        follows the one that left it memory warm or cold."""
        for number in range(times):
            for runs, step in (steps if number % 2 == 0 else steps[::-1]):
                runs.append(step())

    at100k_argv = [args.agent, "run", "--catalog", catalog[100000]]

    def at100k_run():
        runs = publish(at100k_argv, args.voc)
        shutil.copyfile(args.voc, voc100k)
        return runs

    bare, at100k, reference, at1m = [], [], [], []
    in_turn([(bare, lambda: publish([args.agent, "run"], args.voc)),
             (at100k, at100k_run),
             (reference, lambda: publish([args.reference, catalog[100000], reference_voc], reference_voc)),
             (at1m, lambda: publish([args.agent, "run", "--catalog", catalog[1000000]], args.voc))],
            args.runs)

    def weighed(tool, prefix):
        """The 100k run against itself started through prefix, 5 x RUNS pairs; nothing when
        the tool was not built."""
        if not os.path.exists(tool):
            return [], []
        usual, varied = [], []
        in_turn([(usual, lambda: publish(at100k_argv, args.voc)),
                 (varied, lambda: publish([*prefix, *at100k_argv], args.voc))], 5 * args.runs)
        return usual, varied

    # The tree's huge-page regions, with huge pages refused to the run.
    no_huge_pages = os.path.join(args.bench, "without_huge_pages")
    huge, plain_pages = weighed(no_huge_pages, [no_huge_pages])
    os.remove(args.voc)

    show, before = [], []
    for _ in range(5 * args.runs):
        show.append(run([args.agent, "show", voc100k], args.work))
        if args.baseline:
            before.append(run([args.baseline, "show", voc100k], args.work))

    # Single runs in turn: a bare run takes milliseconds, and the peak is not wanted.
    pairs = [(cpu_seconds([args.agent, "run"]), cpu_seconds([args.agent, "--help"]))
             for _ in range(201)]

    def cpu(runs):
        return median(c for c, _ in runs)

    def kib(runs):
        return median(k for _, k in runs)

    def above(runs, n):
        return f"{(kib(runs) - kib(bare)) / n:.2f}"

    def ratio(a, b, scale=1.0):
        return f"{median(x[0] / y[0] for x, y in zip(a, b)) * scale:.2f}"

    print(f"{'case':<48} {'CPU s':>7} {'peak MiB':>9} {'KiB/OS above bare':>18}")
    cases = [("host-agent run (built-in catalogue)", bare, "-"),
             ("host-agent run --catalog, 100000 guest OSes", at100k, above(at100k, 100000)),
             ("host-agent run --catalog, 1000000 guest OSes", at1m, above(at1m, 1000000)),
             *([("the same at 100k with plain pages", plain_pages, above(plain_pages, 100000))] if plain_pages else []),
             ("reference pipeline, 100000 guest OSes", reference, "-"),
             ("host-agent show, 100000 guest OSes", show, "-")]
    if before:
        cases.append((f"host-agent show at {args.baseline_name}, 100000 guest OSes", before, "-"))
    for name, runs, per_os in cases:
        print(f"{name:<48} {cpu(runs):>7.3f} {kib(runs) / 1024:>9.0f} {per_os:>18}")

    if before:
        show_row = (f"CPU of show at 100k / at {args.baseline_name}, in turn", ratio(show, before), "<= 0.50")
    else:
        show_row = (f"CPU of show at 100k / README's {SHOW_BEFORE_README} s (no baseline built)",
                    f"{cpu(show) / SHOW_BEFORE_README:.2f}", "<= 0.50")
    measured = {}
    targets = [
        ("CPU at 100k, host-agent / reference", ratio(at100k, reference), "<= 0.20"),
        ("peak KiB per guest OS above a bare run, 100k", above(at100k, 100000), "<= 1.00"),
        ("peak KiB per guest OS above a bare run, 1M", above(at1m, 1000000), "<= 1.00"),
        ("CPU per guest OS, 1M / 100k", ratio(at1m, at100k, 0.1), "<= 1.15"),
        *components(args.bench, measured),
        quick_path_row(measured, cpu(at100k)),
        ("tree's huge-page regions: CPU at 100k / with plain pages, in turn",
         ratio(huge, plain_pages) if plain_pages else "not built", "<= 0.97"),
        show_row,
        (f"CPU, bare run / --help ({median(a for a, _ in pairs) * 1e3:.2f} / "
         f"{median(b for _, b in pairs) * 1e3:.2f} ms, 201 pairs)",
         f"{median(a / b for a, b in pairs):.2f}", "<= 1.50"),
    ]
    print()
    print(f"{'target':<66} {'value':>9} {'target':>8}")
    for name, value, target in targets:
        print(f"{name:<66} {value:>9} {target:>8}")


if __name__ == "__main__":
    main()
