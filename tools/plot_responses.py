#!/usr/bin/python3
"""Plots frequency responses written by `vexa-host response` as PNG pictures.

  grid     one small panel per pole configuration, low-pass and high-pass
           curves together (all thirty: `vexa-host response --all --type both`)
  overlay  every curve of the file in one panel, e.g. one configuration at
           several Resonance values (`--resonance 0,2.5,5,7.5,10`)

The picture appears only when it is complete: it is drawn into a temporary
file beside the output and renamed at the end.
"""

import argparse
import csv
import math
import os
import re
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)

EXIT_FAILURE = 1
EXIT_BAD_ARGUMENTS = 2

DOTS_PER_INCH = 100
LOWEST_HZ = 20.0
HIGHEST_HZ = 20000.0
# Decibels shown below the loudest point of the file, and headroom above it.
SHOWN_RANGE_DB = 90.0
HEADROOM_DB = 6.0
GRID_STEP_DB = 10.0
GRID_COLUMNS = 6

# A column title as vexa-host writes it: "4:5f LP R=5V".
TITLE_PATTERN = re.compile(r"^(?P<configuration>\S+) (?P<type>\S+) R=(?P<resonance>[-+0-9.eE]+)V$")
TYPE_COLOURS = {"LP": "tab:blue", "HP": "tab:orange"}


class PlotError(Exception):
    """A problem with the input or output: one line, exit code 1."""


class Curve:
    def __init__(self, title, decibels):
        match = TITLE_PATTERN.match(title)
        if match is None:
            raise PlotError(f"column '{title}' is not of the form 'CONFIG TYPE R=VOLTSV'")
        self.title = title
        self.configuration = match["configuration"]
        self.type = match["type"]
        self.resonance = float(match["resonance"])
        self.decibels = decibels


def read_curves(path):
    try:
        with open(path, newline="") as stream:
            rows = list(csv.reader(stream))
    except OSError as error:
        raise PlotError(f"cannot read '{path}': {error.strerror}") from None
    if len(rows) < 2 or len(rows[0]) < 2 or rows[0][0] != "frequency_hz":
        raise PlotError(f"'{path}' is not a response CSV of vexa-host (frequency_hz, then one column per curve)")
    header, body = rows[0], rows[1:]
    try:
        columns = [[float(value) for value in row] for row in body]
    except ValueError as error:
        raise PlotError(f"'{path}': {error}") from None
    if any(len(row) != len(header) for row in columns):
        raise PlotError(f"'{path}': rows of unequal length")
    frequencies = [row[0] for row in columns]
    curves = [Curve(title, [row[index] for row in columns]) for index, title in enumerate(header) if index > 0]
    return frequencies, curves


def decibel_limits(curves):
    loudest = max(max(curve.decibels) for curve in curves)
    top = math.ceil((loudest + HEADROOM_DB) / GRID_STEP_DB) * GRID_STEP_DB
    return top - SHOWN_RANGE_DB, top


def style_axes(axes, limits, small):
    axes.set_xscale("log")
    axes.set_xlim(LOWEST_HZ, HIGHEST_HZ)
    axes.set_ylim(*limits)
    axes.grid(True, which="major", linewidth=0.5, alpha=0.5)
    axes.grid(True, which="minor", axis="x", linewidth=0.3, alpha=0.25)
    if small:
        axes.tick_params(labelsize=6)


def plot_grid(frequencies, curves, figure, title):
    configurations = list(dict.fromkeys(curve.configuration for curve in curves))
    rows = math.ceil(len(configurations) / GRID_COLUMNS)
    columns = min(GRID_COLUMNS, len(configurations))
    axes_grid = figure.subplots(rows, columns, sharex=True, sharey=True, squeeze=False)
    limits = decibel_limits(curves)
    for index, configuration in enumerate(configurations):
        axes = axes_grid[index // columns][index % columns]
        for curve in curves:
            if curve.configuration == configuration:
                axes.plot(frequencies, curve.decibels, linewidth=1.0,
                          color=TYPE_COLOURS.get(curve.type), label=curve.type)
        axes.set_title(configuration, fontsize=9, pad=2)
        style_axes(axes, limits, small=True)
    for index in range(len(configurations), rows * columns):
        axes_grid[index // columns][index % columns].set_visible(False)
    for axes in axes_grid[-1]:
        axes.set_xlabel("Hz", fontsize=7)
    for row in axes_grid:
        row[0].set_ylabel("dB", fontsize=7)
    handles, labels = axes_grid[0][0].get_legend_handles_labels()
    figure.legend(handles, labels, loc="upper right", fontsize=8)
    figure.suptitle(title or "Frequency responses", fontsize=11)


def plot_overlay(frequencies, curves, figure, title):
    axes = figure.subplots()
    same_filter = len({(curve.configuration, curve.type) for curve in curves}) == 1
    for curve in curves:
        label = f"Resonance {curve.resonance:g} V" if same_filter else curve.title
        axes.plot(frequencies, curve.decibels, linewidth=1.2, label=label)
    style_axes(axes, decibel_limits(curves), small=False)
    axes.set_xlabel("frequency (Hz)")
    axes.set_ylabel("magnitude (dB)")
    axes.legend(fontsize=8)
    default_title = f"{curves[0].configuration} {curves[0].type}" if same_filter else "Frequency responses"
    axes.set_title(title or default_title)


def parse_size(text):
    match = re.fullmatch(r"(\d+)x(\d+)", text)
    if match is None or int(match[1]) < 1 or int(match[2]) < 1:
        raise argparse.ArgumentTypeError(f"'{text}' is not a size in pixels such as 1600x1000")
    return int(match[1]), int(match[2])


def write_png(figure, path, replace):
    if os.path.exists(path) and not replace:
        raise PlotError(f"'{path}' exists already; pass --force to replace it")
    folder = os.path.dirname(os.path.abspath(path))
    descriptor, temporary = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".partial-", dir=folder)
    try:
        with os.fdopen(descriptor, "wb") as stream:
            figure.savefig(stream, format="png", dpi=DOTS_PER_INCH)
        os.chmod(temporary, 0o666 & ~current_umask())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


class Parser(argparse.ArgumentParser):
    def error(self, message):
        self.exit(EXIT_BAD_ARGUMENTS, f"{self.prog}: {message} (see --help)\n")


def main(arguments):
    parser = Parser(prog="plot_responses.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("kind", choices=["grid", "overlay"], help="one panel per configuration, or one for all")
    parser.add_argument("csv", help="response CSV written by vexa-host response")
    parser.add_argument("png", help="picture to write")
    parser.add_argument("--size", type=parse_size, default=(1800, 1200), help="width x height in pixels")
    parser.add_argument("--title", default="", help="title above the picture")
    parser.add_argument("-f", "--force", action="store_true", help="replace an existing picture")
    options = parser.parse_args(arguments)

    try:
        frequencies, curves = read_curves(options.csv)
        width, height = options.size
        figure = plt.figure(figsize=(width / DOTS_PER_INCH, height / DOTS_PER_INCH), dpi=DOTS_PER_INCH,
                            layout="constrained")
        if options.kind == "grid":
            plot_grid(frequencies, curves, figure, options.title)
        else:
            plot_overlay(frequencies, curves, figure, options.title)
        write_png(figure, options.png, options.force)
    except PlotError as error:
        print(f"plot_responses.py: {error}", file=sys.stderr)
        return EXIT_FAILURE
    except OSError as error:
        print(f"plot_responses.py: cannot write '{options.png}': {error.strerror}", file=sys.stderr)
        return EXIT_FAILURE
    print(f"{options.png}: {width}x{height} pixels, {len(curves)} curves")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
