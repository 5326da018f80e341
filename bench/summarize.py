#!/usr/bin/env python3
"""Turns a benchmark run into the README's performance section.

Usage: summarize.py BENCHMARK_JSON DECAY_REPORT... --readme README.md

Reads Google Benchmark's JSON output of module_benchmarks and the reports of
decay_ratio for each build, checks the performance targets, and rewrites the
part of the README between the performance markers.
"""
import argparse
import json
import platform
import re
import subprocess
import sys

START = "<!-- performance:start -->"
END = "<!-- performance:end -->"
RATE = 48000.0
TARGETS = {
    "generic kernel / hand-written loop, \"2:5\"": 1.05,
    "audio-rate Pitch / constant controls, 64-sample blocks": 1.25,
    "decaying / normal signal": 1.10,
    "16-sample / 1024-sample blocks, per sample": 1.25,
    "light (f) / full partner": 0.55,
}


def load_times(path):
    with open(path) as f:
        report = json.load(f)
    # With repetitions, the median of each benchmark; otherwise its single run.
    times = {}
    for run in report["benchmarks"]:
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                times[run["run_name"]] = run["ns_per_sample"]
        else:
            times.setdefault(run["name"], run["ns_per_sample"])
    return times, report.get("context", {})


def processor_name():
    try:
        text = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
        for line in text.splitlines():
            if line.startswith("Model name:"):
                return line.split(":", 1)[1].strip()
    except (OSError, subprocess.CalledProcessError):
        pass
    return platform.processor() or "unknown processor"


def worst(pairs):
    """(largest ratio, label) over (label, numerator, denominator) triples."""
    return max(((num / den, label) for label, num, den in pairs), key=lambda item: item[0])


def decay_worst(paths):
    results = []
    for path in paths:
        with open(path) as f:
            text = f.read()
        match = re.search(r"decay-ratio: (\S+) worst ([0-9.]+) \(Poles (\d+)\)", text)
        if not match:
            sys.exit(f"summarize: no decay-ratio summary in {path}")
        build = re.sub(r"^decay-|\.txt$", "", path.rsplit("/", 1)[-1])
        results.append((float(match.group(2)), f"{build}, Poles {match.group(3)}"))
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("benchmarks")
    parser.add_argument("decay_reports", nargs="*")
    parser.add_argument("--readme", required=True)
    args = parser.parse_args()

    times, context = load_times(args.benchmarks)
    names = {}
    for poles in range(30):
        match = [n for n in times if n.startswith(f"poles-{poles:02d}/")]
        if not match:
            sys.exit(f"summarize: no benchmark of Poles {poles}")
    def t(poles, scenario, block):
        return times[f"poles-{poles:02d}/{scenario}/{block}"]

    with open("src/filter/PoleConfigs.h") as f:
        for poles, name in re.findall(r'/\*\s*(\d+) \*/ \{"([^"]+)"', f.read()):
            names[int(poles)] = name

    ratios = []
    ratios.append(("generic kernel / hand-written loop, \"2:5\"",
                   *worst([(f"{b}-sample blocks", t(6, "constant", b), times[f"reference-2:5/constant/{b}"])
                           for b in (16, 64, 256, 1024)])))
    ratios.append(("audio-rate Pitch / constant controls, 64-sample blocks",
                   *worst([(f"Poles {p}", t(p, "pitch-mod", 64), t(p, "constant", 64)) for p in range(30)])))
    small_blocks = worst([(f"Poles {p}, {b}-sample blocks", t(p, "pitch-mod", b), t(p, "constant", b))
                          for p in range(30) for b in (16, 256, 1024)])
    decay = [(f"native benchmark, Poles {p}, {b}-sample blocks", t(p, "decaying", b), t(p, "constant", b))
             for p in range(30) for b in (16, 64, 256, 1024)]
    all_decay = [worst(decay)] + decay_worst(args.decay_reports)
    ratios.append(("decaying / normal signal", *max(all_decay, key=lambda item: item[0])))
    ratios.append(("16-sample / 1024-sample blocks, per sample",
                   *worst([(f"Poles {p}", t(p, "constant", 16), t(p, "constant", 1024)) for p in range(30)])))
    ratios.append(("light (f) / full partner",
                   *worst([(f"{names[p + 1]} / {names[p]}", t(p + 1, "constant", 64), t(p, "constant", 64))
                           for p in range(0, 30, 2)])))

    lines = [START, "",
             f"Measured by `make bench` on {processor_name()}, {context.get('num_cpus', '?')} cores, "
             f"{context.get('date', '')[:10]}, medians of three runs. Single-core figures: one instance on one core, "
             "called through the native build's block routine in 64-sample blocks at 48 kHz, "
             "Pitch, Resonance and Zing held. Instances per core is how many run in real time on one core.", "",
             "| Poles | name | ns per sample | instances per core at 48 kHz |", "|---:|---|---:|---:|"]
    for p in range(30):
        ns = t(p, "constant", 64)
        lines.append(f"| {p} | {names[p]} | {ns:.1f} | {1e9 / (ns * RATE):.0f} |")
    lines += ["", "Targets, each the worst case of one run:", "",
              "| ratio | target | measured | worst case |", "|---|---:|---:|---|"]
    failed = []
    for label, value, where in ratios:
        target = TARGETS[label]
        ok = value <= target
        if not ok:
            failed.append(label)
        lines.append(f"| {label} | {target:.2f} | {value:.3f}{'' if ok else ' (missed)'} | {where} |")
    pitch_ratios = sorted(((t(p, "pitch-mod", 64) / t(p, "constant", 64), p) for p in range(30)), reverse=True)
    over = [f"{names[p]} {r:.2f}" for r, p in pitch_ratios if r > TARGETS["audio-rate Pitch / constant controls, 64-sample blocks"]]
    lines += ["",
              f"Audio-rate Pitch within its target in {30 - len(over)} of 30 configurations"
              + (f"; above it: {', '.join(over)}. These are the shortest kernels, where one update every"
                 " twelve samples weighs most." if over else "."),
              "",
              f"At other block sizes the worst is {small_blocks[0]:.3f} ({small_blocks[1]}); "
              "a 16-sample block has two update positions where a 64-sample block has 5.3 per 64 samples.",
              "",
              "Decaying against normal signal, fastest of 15 passes of each (bench/DecayRatio.cpp): "
              + ", ".join(f"{where.split(',')[0]} {value:.3f}" for value, where in decay_worst(args.decay_reports)) + ".",
              "",
              "Timings on this machine vary by up to a tenth from run to run.",
              "", END]

    with open(args.readme) as f:
        readme = f.read()
    section = "\n".join(lines)
    if START in readme:
        readme = re.sub(re.escape(START) + ".*?" + re.escape(END), lambda _: section, readme, flags=re.S)
    else:
        readme = readme.rstrip("\n") + "\n\n## Performance\n\n" + section + "\n"
    with open(args.readme, "w") as f:
        f.write(readme)
    for label, value, where in ratios:
        print(f"bench: {label}: {value:.3f} (target {TARGETS[label]:.2f}; {where})")
    if failed:
        print("bench: targets missed: " + ", ".join(failed))


if __name__ == "__main__":
    main()
