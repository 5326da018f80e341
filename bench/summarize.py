#!/usr/bin/env python3
"""Turns a benchmark run into the tables of docs/performance.md.

Usage: summarize.py BENCHMARK_JSON TIMINGS_REPORT... --readme docs/performance.md
                    [--channels CHANNELS_REPORT...] [--before TIMINGS_REPORT...]

Reads Google Benchmark's JSON output of module_benchmarks and the reports of
build_timings (timings-BUILD-ROUND.txt, several rounds of each build), the
reports of channel_timings (channels-BUILD-ROUND.txt: one, two and four
channels per frame) and, where given, build_timings of the native build before
a change (before-ROUND.txt, taken in the same rounds), checks the performance
targets, and rewrites the part of that page between the performance markers.
"""
import argparse
import json
import platform
import re
import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "scripts"))
from pole_configs import names as configuration_names  # noqa: E402

# The configurations the tables cover: every row of the table.
CONFIGURATIONS = len(configuration_names())

START = "<!-- performance:start -->"
END = "<!-- performance:end -->"
RATE = 48000.0
TARGETS = {
    "generic kernel / hand-written loop, \"2:5\"": 1.05,
    "audio-rate Pitch / constant controls, 64-sample blocks": 1.25,
    "decaying / normal signal": 1.05,
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


BUILDS = ("linux", "win64", "win32")
SCENARIOS = ("constant", "pitch-mod", "decaying")
CROSS_TARGETS = {
    "win32 / linux, constant controls, median": 1.03,
    "win32 / linux, constant controls, worst": 1.08,
    "audio-rate Pitch / constant controls, every build": 1.25,
    "decaying / normal signal, every build": 1.05,
}
# Dependent operations from one sample's feedback to the next, counted in the
# native disassembly (README, "The chain bound"), at 3 cycles each (the FP
# add, multiply, min and max latency of this core).
CHAIN_CYCLES = {"2:5": 38 * 3, "2:2f": 8 * 3}


def load_timings(paths):
    """{build: {poles: {scenario: [cycles per round]}}}, the same for ns, and the clocks seen."""
    cycles = {b: {p: {s: [] for s in SCENARIOS} for p in range(CONFIGURATIONS)} for b in BUILDS}
    ns = {b: {p: {s: [] for s in SCENARIOS} for p in range(CONFIGURATIONS)} for b in BUILDS}
    clocks = []
    for path in paths:
        match = re.search(r"timings-(\w+)-\d+\.txt$", path)
        if not match or match.group(1) not in BUILDS:
            sys.exit(f"summarize: {path} is not named timings-BUILD-ROUND.txt")
        build = match.group(1)
        rows = 0
        with open(path) as f:
            for line in f:
                fields = line.split()
                if len(fields) != 8 or not fields[0].isdigit():
                    continue
                poles = int(fields[0])
                clocks.append(float(fields[1]))
                for i, scenario in enumerate(SCENARIOS):
                    ns[build][poles][scenario].append(float(fields[2 + i]))
                    cycles[build][poles][scenario].append(float(fields[5 + i]))
                rows += 1
        if rows != CONFIGURATIONS:
            sys.exit(f"summarize: {path} has {rows} configurations, not {CONFIGURATIONS}")
    for b in BUILDS:
        if not cycles[b][0]["constant"]:
            sys.exit(f"summarize: no timings of the {b} build")
    return cycles, ns, clocks


def median_of(table):
    return {b: {p: {s: statistics.median(v) for s, v in table[b][p].items()} for p in range(CONFIGURATIONS)} for b in BUILDS}


def spread(table):
    """Median over configurations and builds of (slowest round / fastest round - 1), constant controls."""
    values = [max(v) / min(v) - 1 for b in BUILDS for p in range(CONFIGURATIONS) for v in [table[b][p]["constant"]]]
    return statistics.median(values), max(values)


CHANNEL_COLUMNS = ("mono-constant", "stereo-constant", "4ch-constant", "mono-pitch-mod", "stereo-pitch-mod",
                   "4ch-pitch-mod")
CHANNEL_BUILDS = ("linux", "win64")
CHANNEL_TARGETS = {
    "stereo / mono per frame, median": 1.15,
    "stereo / mono per frame, worst": 1.35,
    "4 channels / mono per frame, median": 2.0,
}


def load_channels(paths):
    """{build: {poles: {column: median ns per frame over the rounds}}}."""
    rounds = {b: {p: {c: [] for c in CHANNEL_COLUMNS} for p in range(CONFIGURATIONS)} for b in CHANNEL_BUILDS}
    for path in paths:
        match = re.search(r"channels-(\w+)-\d+\.txt$", path)
        if not match or match.group(1) not in CHANNEL_BUILDS:
            sys.exit(f"summarize: {path} is not named channels-BUILD-ROUND.txt")
        with open(path) as f:
            for line in f:
                fields = line.split()
                if len(fields) == 7 and fields[0].isdigit():
                    for column, value in zip(CHANNEL_COLUMNS, fields[1:]):
                        rounds[match.group(1)][int(fields[0])][column].append(float(value))
    return {b: {p: {c: statistics.median(v) for c, v in rounds[b][p].items()} for p in range(CONFIGURATIONS)}
            for b in CHANNEL_BUILDS if rounds[b][0]["mono-constant"]}


def channel_section(paths, names):
    """The README lines on several channels in one loop, and the targets they miss."""
    if not paths:
        return [], []
    ns = load_channels(paths)
    if "linux" not in ns:
        sys.exit("summarize: no channel timings of the linux build")

    def r(build, p, channels, scenario):
        return ns[build][p][f"{channels}-{scenario}"] / ns[build][p][f"mono-{scenario}"]
    builds = [b for b in CHANNEL_BUILDS if b in ns]
    lines = ["### Several channels in one loop", "",
             "The stereo plug-ins and `vexa-host render` of a multi-channel file run their channels through "
             "`processChannels` (src/dsp/ProcessChannels.h): one coefficient update for all, the chains as the "
             "lanes of one SSE chain. bench/ChannelTimings.cpp times one channel (`processBlock`), two and four "
             "in 512-frame blocks at 48 kHz, a saw with noise per channel, Pitch held (constant) or moving every "
             "sample (Pitch-mod); medians over the rounds, each the fastest of 15 runs, low-pass.", "",
             "| Poles | name | mono ns/frame | stereo / mono, constant, Pitch-mod | 4 ch / mono, constant, Pitch-mod "
             + "".join(f"| {b}: stereo / mono, 4 ch / mono " for b in builds[1:]) + "|",
             "|---:|---|---:|---|---|" + "---|" * (len(builds) - 1)]
    for p in range(CONFIGURATIONS):
        lines.append(f"| {p} | {names[p]} | {ns['linux'][p]['mono-constant']:.1f} "
                     f"| {r('linux', p, 'stereo', 'constant'):.2f}, {r('linux', p, 'stereo', 'pitch-mod'):.2f} "
                     f"| {r('linux', p, '4ch', 'constant'):.2f}, {r('linux', p, '4ch', 'pitch-mod'):.2f} "
                     + "".join(f"| {r(b, p, 'stereo', 'constant'):.2f}, {r(b, p, '4ch', 'constant'):.2f} "
                               for b in builds[1:]) + "|")
    stereo = [(r("linux", p, "stereo", s), f"{names[p]}, {s}") for p in range(CONFIGURATIONS) for s in ("constant", "pitch-mod")]
    measured = {
        "stereo / mono per frame, median": (max(statistics.median(r("linux", p, "stereo", s) for p in range(CONFIGURATIONS))
                                                for s in ("constant", "pitch-mod")),
                                            "native, the larger of the two scenarios' medians"),
        "stereo / mono per frame, worst": (*max(stereo),),
        "4 channels / mono per frame, median": (max(statistics.median(r("linux", p, "4ch", s) for p in range(CONFIGURATIONS))
                                                    for s in ("constant", "pitch-mod")),
                                                "native, the larger of the two scenarios' medians"),
    }
    lines += ["", "| ratio | target | measured | worst case |", "|---|---:|---:|---|"]
    failed = []
    for label, (value, where) in measured.items():
        target = CHANNEL_TARGETS[label]
        if value > target:
            failed.append(label)
        lines.append(f"| {label} | {target:.2f} | {value:.3f}{'' if value <= target else ' (missed)'} | {where} |")
        print(f"bench: {label}: {value:.3f} (target {target:.2f}; {where})")
    for b in builds[1:]:
        lines += ["", f"{b}: stereo / mono median {statistics.median(r(b, p, 'stereo', 'constant') for p in range(CONFIGURATIONS)):.3f}, "
                  f"worst {max(r(b, p, 'stereo', 'constant') for p in range(CONFIGURATIONS)):.3f}; 4 channels / mono median "
                  f"{statistics.median(r(b, p, '4ch', 'constant') for p in range(CONFIGURATIONS)):.3f} (constant controls)."]
    return lines + [""], failed


def before_section(paths, cycle_rounds, names):
    """The native build against the build before a change (BENCH_BEFORE), same rounds."""
    if not paths:
        return []
    before = {p: [] for p in range(CONFIGURATIONS)}
    for path in paths:
        with open(path) as f:
            for line in f:
                fields = line.split()
                if len(fields) == 8 and fields[0].isdigit():
                    before[int(fields[0])].append(float(fields[5]))
    ratio = {p: statistics.median(cycle_rounds["linux"][p]["constant"]) / statistics.median(before[p])
             for p in range(CONFIGURATIONS)}
    light = [p for p in range(CONFIGURATIONS) if names[p].endswith("f")]
    lines = ["### Against the build before", "",
             "The native build's timing program on this build's library and on the one before the change "
             "(`BENCH_BEFORE`), in the same rounds: cycles per sample, constant controls, 64-sample blocks, "
             "this build / before.", "",
             "| Poles | name | before cycles | this build / before |", "|---:|---|---:|---:|"]
    for p in range(CONFIGURATIONS):
        lines.append(f"| {p} | {names[p]} | {statistics.median(before[p]):.1f} | {ratio[p]:.3f} |")
    lines += ["", f"Median {statistics.median(ratio.values()):.3f}, worst {max(ratio.values()):.3f} "
              f"({names[max(ratio, key=ratio.get)]}); the light configurations: median "
              f"{statistics.median(ratio[p] for p in light):.3f}, worst {max(ratio[p] for p in light):.3f}.", ""]
    print(f"bench: this build / before: median {statistics.median(ratio.values()):.3f}, worst {max(ratio.values()):.3f}")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("benchmarks")
    parser.add_argument("timings", nargs="+")
    parser.add_argument("--readme", required=True)
    parser.add_argument("--channels", nargs="*", default=[])
    parser.add_argument("--before", nargs="*", default=[])
    args = parser.parse_args()

    times, context = load_times(args.benchmarks)
    names = {}
    for poles in range(CONFIGURATIONS):
        match = [n for n in times if n.startswith(f"poles-{poles:02d}/")]
        if not match:
            sys.exit(f"summarize: no benchmark of Poles {poles}")
    def t(poles, scenario, block):
        return times[f"poles-{poles:02d}/{scenario}/{block}"]

    with open("src/dsp/PoleConfigs.h") as f:
        for name, poles in re.findall(r'^\s*\{\{" *([^" ]+) Pole[^"]*",\s*\d+\},\s*chain\(.*//\s*(\d+)\s*$', f.read(), flags=re.M):
            names[int(poles)] = name
    if len(names) != CONFIGURATIONS:
        sys.exit(f"summarize: found {len(names)} configuration names in src/dsp/PoleConfigs.h, not {CONFIGURATIONS}")
    number = {name: poles for poles, name in names.items()}

    cycle_rounds, ns_rounds, clocks = load_timings(args.timings)
    rounds = min(len(cycle_rounds[b][0]["constant"]) for b in BUILDS)
    cycles = median_of(cycle_rounds)
    ns = median_of(ns_rounds)
    noise_median, noise_worst = spread(cycle_rounds)

    ratios = []
    ratios.append(("generic kernel / hand-written loop, \"2:5\"",
                   *worst([(f"{b}-sample blocks", t(6, "constant", b), times[f"reference-2:5/constant/{b}"])
                           for b in (16, 64, 256, 1024)])))
    ratios.append(("audio-rate Pitch / constant controls, 64-sample blocks",
                   *worst([(f"Poles {p}", t(p, "pitch-mod", 64), t(p, "constant", 64)) for p in range(CONFIGURATIONS)])))
    small_blocks = worst([(f"Poles {p}, {b}-sample blocks", t(p, "pitch-mod", b), t(p, "constant", b))
                          for p in range(CONFIGURATIONS) for b in (16, 256, 1024)])
    ratios.append(("decaying / normal signal",
                   *worst([(f"native benchmark, Poles {p}, {b}-sample blocks", t(p, "decaying", b), t(p, "constant", b))
                           for p in range(CONFIGURATIONS) for b in (16, 64, 256, 1024)])))
    ratios.append(("16-sample / 1024-sample blocks, per sample",
                   *worst([(f"Poles {p}", t(p, "constant", 16), t(p, "constant", 1024)) for p in range(CONFIGURATIONS)])))
    ratios.append(("light (f) / full partner",
                   *worst([(f"{names[p + 1]} / {names[p]}", t(p + 1, "constant", 64), t(p, "constant", 64))
                           for p in range(0, CONFIGURATIONS, 2)])))

    def ratio(build, poles, scenario, other="constant"):
        return cycles[build][poles][scenario] / cycles[build][poles][other]
    win32_linux = [(cycles["win32"][p]["constant"] / cycles["linux"][p]["constant"], names[p]) for p in range(CONFIGURATIONS)]
    cross = []
    cross.append(("win32 / linux, constant controls, median", statistics.median(r for r, _ in win32_linux),
                  "over every configuration"))
    cross.append(("win32 / linux, constant controls, worst", *max(win32_linux)))
    cross.append(("audio-rate Pitch / constant controls, every build",
                  *max((ratio(b, p, "pitch-mod"), f"{b}, {names[p]}") for b in BUILDS for p in range(CONFIGURATIONS))))
    cross.append(("decaying / normal signal, every build",
                  *max((ratio(b, p, "decaying"), f"{b}, {names[p]}") for b in BUILDS for p in range(CONFIGURATIONS))))

    lines = [START, "",
             f"Measured by `make bench` on {processor_name()}, {context.get('num_cpus', '?')} cores, "
             f"{context.get('date', '')[:10]}.", "",
             "### The three builds side by side", "",
             f"Each build's own timing program (bench/BuildTimings.cpp, the Windows ones under Wine, which runs "
             f"them natively on this CPU) calls its library's block routine in 64-sample blocks at 48 kHz: a 5 V "
             f"noise signal, Resonance 5 V, Zing 10 V, Pitch 5 V held (constant) or moving every sample "
             f"(Pitch-mod), and a decaying signal that falls through the denormal range at 3 V. Figures are "
             f"medians over {rounds} rounds of the three programs taking turns, each the fastest of 15 runs. "
             f"Cycles count at the core clock measured between the runs of each configuration by a chain of "
             f"dependent integer additions ({min(clocks) / 1e9:.2f} to {max(clocks) / 1e9:.2f} GHz seen); "
             f"ratios are taken in cycles.", "",
             "| Poles | name | linux ns | linux cycles | win64 cycles | win32 ns | win32 cycles | win32 / linux "
             "| Pitch-mod / constant, linux, win64, win32 | decaying / normal, worst build |",
             "|---:|---|---:|---:|---:|---:|---:|---:|---|---:|"]
    for p in range(CONFIGURATIONS):
        mods = ", ".join(f"{ratio(b, p, 'pitch-mod'):.2f}" for b in BUILDS)
        decay = max(ratio(b, p, "decaying") for b in BUILDS)
        lines.append(f"| {p} | {names[p]} | {ns['linux'][p]['constant']:.1f} | {cycles['linux'][p]['constant']:.1f} "
                     f"| {cycles['win64'][p]['constant']:.1f} | {ns['win32'][p]['constant']:.1f} "
                     f"| {cycles['win32'][p]['constant']:.1f} | {win32_linux[p][0]:.3f} | {mods} | {decay:.3f} |")
    lines += ["", "| ratio | target | measured | worst case |", "|---|---:|---:|---|"]
    failed = []
    for label, value, where in cross:
        target = CROSS_TARGETS[label]
        if value > target:
            failed.append(label)
        lines.append(f"| {label} | {target:.2f} | {value:.3f}{'' if value <= target else ' (missed)'} | {where} |")
    lines += ["", "Chain bound (dependent operations at 3 cycles, counted as described above) against the native "
              "build's cycles per sample, constant controls: "
              + ", ".join(f"\"{name}\" {cycles['linux'][number[name]]['constant']:.1f} against {bound} "
                          f"({cycles['linux'][number[name]]['constant'] / bound:.3f})"
                          for name, bound in CHAIN_CYCLES.items()) + ".",
              "",
              f"Noise: between the rounds a configuration's figure moved by {100 * noise_median:.1f} % "
              f"(median; at most {100 * noise_worst:.0f} %).",
              "", "### The native build in detail", "",
              "Google Benchmark (bench/ModuleBenchmarks.cpp), medians of three runs: one instance on one core, "
              "called through the native build's block routine in 64-sample blocks at 48 kHz, Pitch, Resonance "
              "and Zing held. Instances per core is how many run in real time on one core.", "",
              "| Poles | name | ns per sample | instances per core at 48 kHz |", "|---:|---|---:|---:|"]
    for p in range(CONFIGURATIONS):
        value = t(p, "constant", 64)
        lines.append(f"| {p} | {names[p]} | {value:.1f} | {1e9 / (value * RATE):.0f} |")
    lines += ["", "Targets, each the worst case of one run:", "",
              "| ratio | target | measured | worst case |", "|---|---:|---:|---|"]
    for label, value, where in ratios:
        target = TARGETS[label]
        if value > target:
            failed.append(label)
        lines.append(f"| {label} | {target:.2f} | {value:.3f}{'' if value <= target else ' (missed)'} | {where} |")
    pitch_ratios = sorted(((t(p, "pitch-mod", 64) / t(p, "constant", 64), p) for p in range(CONFIGURATIONS)), reverse=True)
    over = [f"{names[p]} {r:.2f}" for r, p in pitch_ratios if r > TARGETS["audio-rate Pitch / constant controls, 64-sample blocks"]]
    lines += ["",
              f"Audio-rate Pitch within its target in {CONFIGURATIONS - len(over)} of {CONFIGURATIONS} configurations"
              + (f"; above it: {', '.join(over)}." if over else "."),
              "",
              f"At other block sizes the worst is {small_blocks[0]:.3f} ({small_blocks[1]}); "
              "a 16-sample block has two update positions where a 64-sample block has 5.3 per 64 samples.",
              ""]
    channel_lines, channel_failed = channel_section(args.channels, names)
    before_lines = before_section(args.before, cycle_rounds, names)
    lines += channel_lines + before_lines + [END]
    failed += channel_failed

    with open(args.readme) as f:
        readme = f.read()
    section = "\n".join(lines)
    if START in readme:
        readme = re.sub(re.escape(START) + ".*?" + re.escape(END), lambda _: section, readme, flags=re.S)
    else:
        readme = readme.rstrip("\n") + "\n\n## Performance\n\n" + section + "\n"
    with open(args.readme, "w") as f:
        f.write(readme)
    for label, value, where in cross:
        print(f"bench: {label}: {value:.3f} (target {CROSS_TARGETS[label]:.2f}; {where})")
    for label, value, where in ratios:
        print(f"bench: {label}: {value:.3f} (target {TARGETS[label]:.2f}; {where})")
    if failed:
        print("bench: targets missed: " + ", ".join(failed))


if __name__ == "__main__":
    main()
