#!/usr/bin/python3
"""Plots frequency responses written by `vexa-host response` as PNG, SVG or PDF.

  grid     one small panel per pole configuration, low-pass and high-pass
           curves together (all of them: `vexa-host response --all --type both`)
  overlay  every curve of the file in one panel, e.g. one configuration at
           several Resonance values (`--resonance 0,2.5,5,7.5,10`)

The format follows the picture's extension. The picture appears only when it is
complete: it is drawn into a temporary file beside it and renamed at the end.
Its title says what was measured (Pitch, Resonance, Zing, sample rate) as the
CSV's '#' header lines record it; a self-oscillating curve is marked at its
frequency instead of being drawn, and the nominal cutoff is marked.
"""

import os
import sys

# Debian's matplotlib belongs to the system's Python; another python3 first on
# PATH (pyenv, a virtual environment) usually lacks it, so the script hands
# itself over to the system's interpreter once.
SYSTEM_PYTHON = "/usr/bin/python3"
HANDED_OVER = "VEXA_PLOT_HANDED_OVER"

try:
    import matplotlib
except ImportError:
    if os.environ.get(HANDED_OVER) is None and sys.executable != SYSTEM_PYTHON and os.access(SYSTEM_PYTHON, os.X_OK):
        environment = dict(os.environ, **{HANDED_OVER: sys.executable or "python3"})
        environment.pop("PYTHONHOME", None)
        try:
            os.execve(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(__file__)] + sys.argv[1:], environment)
        except OSError:
            pass
    tried = os.environ.get(HANDED_OVER)
    print(f"plot_responses.py: matplotlib is missing for {sys.executable}"
          + (f" (and for {tried})" if tried else "")
          + "; scripts/install-deps.sh installs python3-matplotlib for " + SYSTEM_PYTHON, file=sys.stderr)
    sys.exit(1)

import argparse  # noqa: E402
import csv  # noqa: E402
import math  # noqa: E402
import re  # noqa: E402
import tempfile  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)
from matplotlib.lines import Line2D  # noqa: E402

EXIT_FAILURE = 1
EXIT_BAD_ARGUMENTS = 2

DOTS_PER_INCH = 100
FORMATS = {".png": "png", ".svg": "svg", ".pdf": "pdf"}
# Beyond this many pixels a side a PNG takes hundreds of megabytes to draw.
LARGEST_SIDE = 8000
# Below these the labels of a panel run into each other.
SMALLEST_OVERLAY = (640, 360)
SMALLEST_PANEL = (160, 110)
# Room for the title and the legend above a grid's panels.
GRID_HEADER_PIXELS = 120

# Decibels shown below the loudest settled point of the file at most, and headroom above it.
SHOWN_RANGE_DB = 90.0
HEADROOM_DB = 6.0
GRID_STEP_DB = 10.0
GRID_COLUMNS = 6
LEGEND_COLUMNS = 8
# The legend's own row is sized by its entries; the layout makes room for them.
LEGEND_ROW_SHARE = 0.001
# Curves closer than this everywhere are one curve drawn twice (the CSV keeps 0.001 dB).
COINCIDENT_DB = 0.01

# A column title as vexa-host writes it: "4:5f LP R=5V".
TITLE_PATTERN = re.compile(r"^(?P<configuration>\S+) (?P<type>\S+) R=(?P<resonance>[-+0-9.eE]+)V$")
# The header lines before the column titles: "# key: value".
CONDITION_PATTERN = re.compile(r"^#\s*(?P<key>[a-z_]+):\s*(?P<value>.*?)\s*$")
NUMERIC_CONDITIONS = ("pitch_v", "nominal_cutoff_hz", "zing_v", "sample_rate_hz", "block_size")
OSCILLATES = "oscillates"

TYPE_COLOURS = {"LP": "tab:blue", "HP": "tab:orange"}
TYPE_COLOUR_MAPS = {"LP": "Blues", "HP": "Oranges"}
OTHER_COLOUR_MAPS = ("Greens", "Purples", "Greys")
# The lightest and darkest shade of a colour map used for a range of Resonance values.
LIGHTEST_SHADE, DARKEST_SHADE = 0.45, 0.9
NOMINAL_STYLE = {"color": "0.35", "linestyle": ":", "linewidth": 1.0}
OSCILLATION_STYLE = {"linestyle": "-.", "linewidth": 1.2}
COINCIDENT_DASHES = (0, (4, 3))
NOTE_COLOUR = "tab:red"


class PlotError(Exception):
    """A problem with the input or output: one line, exit code 1."""


class UsageProblem(Exception):
    """Arguments that cannot be used: one line, exit code 2."""


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
        self.oscillates = False

    def label(self):
        return f"{self.type} R={self.resonance:g} V"

    def peak_hz(self, frequencies):
        """Where a self-oscillating curve is loudest: the oscillation's frequency."""
        return max(zip(self.decibels, frequencies))[1]


class Responses:
    """A response CSV: frequencies, curves and what they were measured at."""

    def __init__(self, frequencies, curves, conditions):
        self.frequencies = frequencies
        self.curves = curves
        self.conditions = conditions

    def resonances(self):
        return sorted({curve.resonance for curve in self.curves})


def parse_number(text, where):
    try:
        value = float(text)
    except ValueError:
        raise PlotError(f"{where}: '{text}' is not a number") from None
    if not math.isfinite(value):
        raise PlotError(f"{where}: '{text}' is not a finite number")
    return value


def read_responses(path):
    try:
        with open(path, newline="") as stream:
            lines = stream.read().splitlines()
    except OSError as error:
        raise PlotError(f"cannot read '{path}': {error.strerror}") from None
    except UnicodeDecodeError:
        raise PlotError(f"'{path}' is not a text file") from None
    conditions = {}
    oscillating = []
    first = 0
    while first < len(lines) and lines[first].startswith("#"):
        match = CONDITION_PATTERN.match(lines[first])
        if match and match["key"] in NUMERIC_CONDITIONS:
            conditions[match["key"]] = parse_number(match["value"], f"'{path}' line {first + 1}")
        elif match and match["key"] == OSCILLATES:
            oscillating.append(match["value"])
        elif match:
            conditions[match["key"]] = match["value"]
        first += 1
    rows = [(number, row) for number, row in enumerate(csv.reader(lines[first:]), start=first + 1) if row]
    if len(rows) < 3 or len(rows[0][1]) < 2 or rows[0][1][0] != "frequency_hz":
        raise PlotError(f"'{path}' is not a response CSV of vexa-host "
                        "(frequency_hz, then one column per curve, at least two frequencies)")
    header, body = rows[0][1], rows[1:]
    columns = []
    for number, row in body:
        if len(row) != len(header):
            raise PlotError(f"'{path}' line {number}: {len(row)} values for {len(header)} columns")
        columns.append([parse_number(value, f"'{path}' line {number}") for value in row])
    frequencies = [row[0] for row in columns]
    if frequencies[0] <= 0 or any(later <= earlier for earlier, later in zip(frequencies, frequencies[1:])):
        raise PlotError(f"'{path}': the frequencies must be positive and rise from line to line")
    curves = [Curve(title, [row[index] for row in columns]) for index, title in enumerate(header) if index > 0]
    by_title = {curve.title: curve for curve in curves}
    for title in oscillating:
        if title not in by_title:
            raise PlotError(f"'{path}': '# {OSCILLATES}: {title}' names no column")
        by_title[title].oscillates = True
    return Responses(frequencies, curves, conditions)


def format_hz(hz):
    return f"{hz / 1000:.3g} kHz" if hz >= 1000 else f"{hz:.3g} Hz"


def format_volts(values):
    return ", ".join(f"{value:g}" for value in values) + " V"


def describe_conditions(responses, single_filter):
    """One line of what the curves were measured at, as far as the CSV says."""
    conditions = responses.conditions
    parts = []
    if single_filter:
        parts.append(f"{responses.curves[0].configuration} {responses.curves[0].type}")
    if "pitch_v" in conditions:
        pitch = f"Pitch {conditions['pitch_v']:g} V"
        if "nominal_cutoff_hz" in conditions:
            pitch += f" ({format_hz(conditions['nominal_cutoff_hz'])})"
        parts.append(pitch)
    parts.append("Resonance " + format_volts(responses.resonances()))
    if "zing_v" in conditions:
        parts.append(f"Zing {conditions['zing_v']:g} V")
    if "sample_rate_hz" in conditions:
        parts.append(f"{conditions['sample_rate_hz'] / 1000:g} kHz")
    if not {"pitch_v", "zing_v", "sample_rate_hz"} <= conditions.keys():
        parts.append("other conditions not recorded in the CSV")
    return ", ".join(parts)


def curve_colours(curves):
    """LP in blues, HP in oranges; several Resonance values in shades, darker when higher."""
    colours = {}
    types = list(dict.fromkeys(curve.type for curve in curves))
    others = iter(OTHER_COLOUR_MAPS * len(types))
    for curve_type in types:
        resonances = sorted({curve.resonance for curve in curves if curve.type == curve_type})
        if len(resonances) == 1 and curve_type in TYPE_COLOURS:
            colours[(curve_type, resonances[0])] = TYPE_COLOURS[curve_type]
            continue
        colour_map = plt.get_cmap(TYPE_COLOUR_MAPS.get(curve_type) or next(others))
        for index, resonance in enumerate(resonances):
            shade = DARKEST_SHADE if len(resonances) == 1 else \
                LIGHTEST_SHADE + (DARKEST_SHADE - LIGHTEST_SHADE) * index / (len(resonances) - 1)
            colours[(curve_type, resonance)] = colour_map(shade)
    return colours


def decibel_limits(curves):
    """The scale of the settled curves: a self-oscillation's level depends only on how long it was recorded."""
    shown = [curve for curve in curves if not curve.oscillates] or curves
    loudest = max(max(curve.decibels) for curve in shown)
    quietest = min(min(curve.decibels) for curve in shown)
    top = math.ceil((loudest + HEADROOM_DB) / GRID_STEP_DB) * GRID_STEP_DB
    bottom = max(top - SHOWN_RANGE_DB, math.floor((quietest - HEADROOM_DB) / GRID_STEP_DB) * GRID_STEP_DB)
    return bottom, top


def coincide(first, second):
    return max(abs(a - b) for a, b in zip(first.decibels, second.decibels)) <= COINCIDENT_DB


def style_axes(axes, frequencies, limits, small):
    axes.set_xscale("log")
    axes.set_xlim(frequencies[0], frequencies[-1])
    axes.set_ylim(*limits)
    axes.grid(True, which="major", linewidth=0.5, alpha=0.5)
    axes.grid(True, which="minor", axis="x", linewidth=0.3, alpha=0.25)
    if small:
        axes.tick_params(labelsize=6)


def nominal_cutoff(responses):
    """The nominal cutoff in Hz when the CSV gives it and it lies on the axis, else None."""
    nominal = responses.conditions.get("nominal_cutoff_hz")
    if nominal is None or not responses.frequencies[0] <= nominal <= responses.frequencies[-1]:
        return None
    return nominal


def nominal_cutoff_handle(nominal):
    return Line2D([], [], **NOMINAL_STYLE, label=f"nominal cutoff {format_hz(nominal)}")


def draw_curve(axes, frequencies, curve, colour, dashed=False, label=None):
    """A settled curve as it is; a self-oscillating one as a line at its frequency."""
    if curve.oscillates:
        axes.axvline(curve.peak_hz(frequencies), color=colour, **OSCILLATION_STYLE, label=label)
    else:
        axes.plot(frequencies, curve.decibels, linewidth=1.0, color=colour, label=label,
                  linestyle=COINCIDENT_DASHES if dashed else "-")


def oscillation_notes(panel, single_resonance):
    """"R=10 V oscillates" when every type does at that Resonance, else "LP R=10 V oscillates"."""
    notes = []
    for resonance in sorted({curve.resonance for curve in panel}):
        at = [curve for curve in panel if curve.resonance == resonance]
        oscillating = [curve for curve in at if curve.oscillates]
        where = "" if single_resonance else f"R={resonance:g} V "
        if oscillating and len(oscillating) == len(at):
            notes.append(f"{where}oscillates")
        else:
            notes += [f"{curve.type} {where}oscillates" for curve in oscillating]
    return notes


def add_note(axes, lines):
    if lines:
        axes.text(0.03, 0.04, "\n".join(lines), transform=axes.transAxes, fontsize=7, color=NOTE_COLOUR,
                  va="bottom", ha="left", bbox={"facecolor": "white", "edgecolor": "none", "alpha": 0.8, "pad": 1})


class Summary:
    """What the picture shows, for the line printed after it is written."""

    def __init__(self):
        self.oscillating = []
        self.coincident = []
        self.nominal_marked = False
        self.axes = None


def grid_shape(count):
    return math.ceil(count / GRID_COLUMNS), min(GRID_COLUMNS, count)


def plot_grid(responses, figure, title, summary):
    frequencies, curves = responses.frequencies, responses.curves
    configurations = list(dict.fromkeys(curve.configuration for curve in curves))
    rows, columns = grid_shape(len(configurations))
    # The legend gets a row of its own above the panels, so that it covers none of them.
    layout = figure.add_gridspec(rows + 1, columns, height_ratios=[LEGEND_ROW_SHARE] + [1] * rows)
    legend_axes = figure.add_subplot(layout[0, :])
    legend_axes.axis("off")
    first = None
    axes_grid = []
    for index in range(rows * columns):
        axes = figure.add_subplot(layout[1 + index // columns, index % columns], sharex=first, sharey=first)
        first = first or axes
        axes_grid.append(axes)
    limits = decibel_limits(curves)
    colours = curve_colours(curves)
    single_resonance = len(responses.resonances()) == 1
    nominal = nominal_cutoff(responses)
    for axes, configuration in zip(axes_grid, configurations):
        panel = [curve for curve in curves if curve.configuration == configuration]
        drawn = []
        coincident_at = []
        for curve in panel:
            twin = next((other for other in drawn if other.resonance == curve.resonance and coincide(other, curve)),
                        None)
            draw_curve(axes, frequencies, curve, colours[(curve.type, curve.resonance)], dashed=twin is not None)
            if twin is not None:
                coincident_at.append((twin.type, curve.type, curve.resonance))
            if curve.oscillates:
                summary.oscillating.append(f"{curve.title} ({format_hz(curve.peak_hz(frequencies))})")
            drawn.append(curve)
        notes = oscillation_notes(panel, single_resonance)
        if coincident_at:
            summary.coincident.append(configuration)
            if len(coincident_at) == len(panel) - len({curve.resonance for curve in panel}):
                notes.append(f"{coincident_at[0][0]} = {coincident_at[0][1]}")
            else:
                notes += [f"{first_type} = {second_type} at R={resonance:g} V"
                          for first_type, second_type, resonance in coincident_at]
        add_note(axes, notes)
        if nominal is not None:
            axes.axvline(nominal, **NOMINAL_STYLE)
        axes.set_title(configuration, fontsize=9, pad=2)
        style_axes(axes, frequencies, limits, small=True)
    for axes in axes_grid[len(configurations):]:
        axes.set_visible(False)
    for index, axes in enumerate(axes_grid):
        # Tick labels where no panel lies below or to the left.
        if index + columns < len(configurations):
            axes.tick_params(labelbottom=False)
        else:
            axes.set_xlabel("Hz", fontsize=7)
        if index % columns:
            axes.tick_params(labelleft=False)
        else:
            axes.set_ylabel("dB", fontsize=7)
    handles = [Line2D([], [], color=colour, linewidth=1.5,
                      label=curve_type if single_resonance else f"{curve_type} R={resonance:g} V")
               for (curve_type, resonance), colour in colours.items()]
    if nominal is not None:
        handles.append(nominal_cutoff_handle(nominal))
        summary.nominal_marked = True
    if summary.oscillating:
        handles.append(Line2D([], [], color="black", **OSCILLATION_STYLE, label="self-oscillation, at its frequency"))
    fit_legend(figure, legend_axes, handles)
    figure.suptitle((title or f"Frequency responses of {len(configurations)} configurations") + "\n"
                    + describe_conditions(responses, single_filter=False), fontsize=11)
    summary.axes = first
    return len(configurations)


def fit_legend(figure, legend_axes, handles):
    """The legend in as few lines as the figure's width allows."""
    renderer = figure.canvas.get_renderer()
    for columns in range(min(len(handles), LEGEND_COLUMNS), 1, -1):
        legend = legend_axes.legend(handles=handles, loc="center", fontsize=8, ncol=columns, frameon=False)
        if legend.get_window_extent(renderer).width <= figure.bbox.width:
            return
        legend.remove()
    legend_axes.legend(handles=handles, loc="center", fontsize=8, ncol=1, frameon=False)


def plot_overlay(responses, figure, title, summary):
    frequencies, curves = responses.frequencies, responses.curves
    axes = figure.subplots()
    same_filter = len({(curve.configuration, curve.type) for curve in curves}) == 1
    colours = curve_colours(curves) if same_filter else {}
    drawn = []
    for index, curve in enumerate(curves):
        label = f"Resonance {curve.resonance:g} V" if same_filter else curve.title
        twin = next((other for other in drawn if coincide(other, curve)), None)
        if twin is not None:
            label += f" (same as {twin.title})"
            summary.coincident.append(curve.title)
        if curve.oscillates:
            label += f": oscillates at {format_hz(curve.peak_hz(frequencies))}"
            summary.oscillating.append(f"{curve.title} ({format_hz(curve.peak_hz(frequencies))})")
        colour = colours.get((curve.type, curve.resonance), f"C{index % 10}")
        draw_curve(axes, frequencies, curve, colour, dashed=twin is not None, label=label)
        drawn.append(curve)
    nominal = nominal_cutoff(responses)
    if nominal is not None:
        axes.axvline(nominal, **NOMINAL_STYLE, label=f"nominal cutoff {format_hz(nominal)}")
        summary.nominal_marked = True
    style_axes(axes, frequencies, decibel_limits(curves), small=False)
    axes.set_xlabel("frequency (Hz)")
    axes.set_ylabel("magnitude (dB)")
    axes.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0), borderaxespad=0)
    default_title = f"{curves[0].configuration} {curves[0].type}" if same_filter else "Frequency responses"
    figure.suptitle((title or default_title) + "\n" + describe_conditions(responses, single_filter=same_filter and title),
                    fontsize=11)
    summary.axes = axes
    return 1


def parse_size(text):
    match = re.fullmatch(r"(\d+)x(\d+)", text)
    if match is None or int(match[1]) < 1 or int(match[2]) < 1:
        raise argparse.ArgumentTypeError(f"'{text}' is not a size in pixels such as 1600x1000")
    width, height = int(match[1]), int(match[2])
    if max(width, height) > LARGEST_SIDE:
        raise argparse.ArgumentTypeError(f"'{text}' is too large: at most {LARGEST_SIDE} pixels a side")
    return width, height


def smallest_size(kind, panels):
    if kind == "overlay":
        return SMALLEST_OVERLAY
    rows, columns = grid_shape(panels)
    return columns * SMALLEST_PANEL[0], rows * SMALLEST_PANEL[1] + GRID_HEADER_PIXELS


def picture_format(path):
    extension = os.path.splitext(path)[1].lower()
    if extension not in FORMATS:
        raise UsageProblem(f"'{path}': the format follows the extension, which must be .png, .svg or .pdf")
    return FORMATS[extension]


def refuse_to_overwrite_input(picture, csv_path):
    if os.path.exists(picture) and os.path.exists(csv_path) and os.path.samefile(picture, csv_path):
        raise UsageProblem(f"refusing to write over the input '{csv_path}'")


def write_picture(figure, path, picture_kind, replace):
    if os.path.exists(path) and not replace:
        raise PlotError(f"'{path}' exists already; pass --force to replace it")
    folder = os.path.dirname(os.path.abspath(path))
    descriptor, temporary = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".partial-", dir=folder)
    try:
        with os.fdopen(descriptor, "wb") as stream:
            figure.savefig(stream, format=picture_kind, dpi=DOTS_PER_INCH)
        os.chmod(temporary, 0o666 & ~current_umask())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def summary_lines(path, picture_kind, size, responses, panels, summary):
    width, height = size
    low, high = summary.axes.get_xlim()
    bottom, top = summary.axes.get_ylim()
    lines = [f"{path}: {width}x{height} pixels ({picture_kind.upper()}), {len(responses.curves)} curves"
             + (f" in {panels} panels" if panels > 1 else ""),
             f"  axes: {format_hz(low)} to {format_hz(high)}, {bottom:+g} dB to {top:+g} dB"
             + ("; nominal cutoff marked" if summary.nominal_marked else "")]
    if summary.oscillating:
        lines.append("  self-oscillating, marked at its frequency: " + ", ".join(summary.oscillating))
    if summary.coincident:
        lines.append("  drawn over an equal curve, dashed: " + ", ".join(summary.coincident))
    return lines


class Parser(argparse.ArgumentParser):
    def error(self, message):
        self.exit(EXIT_BAD_ARGUMENTS, f"{self.prog}: {message} (see --help)\n")


def main(arguments):
    parser = Parser(prog="plot_responses.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("kind", choices=["grid", "overlay"], help="one panel per configuration, or one for all")
    parser.add_argument("csv", help="response CSV written by vexa-host response")
    parser.add_argument("picture", help="picture to write: .png, .svg or .pdf")
    parser.add_argument("--size", type=parse_size, default=(1800, 1200),
                        help=f"width x height in pixels (at {DOTS_PER_INCH} dpi for SVG and PDF), "
                             f"at most {LARGEST_SIDE} a side")
    parser.add_argument("--title", default="", help="heading above the line of what was measured")
    parser.add_argument("-f", "--force", action="store_true", help="replace an existing picture (never the CSV)")
    options = parser.parse_args(arguments)

    # Text stays text in SVG: smaller, searchable and editable.
    matplotlib.rcParams["svg.fonttype"] = "none"
    try:
        refuse_to_overwrite_input(options.picture, options.csv)
        picture_kind = picture_format(options.picture)
        responses = read_responses(options.csv)
        panels = len({curve.configuration for curve in responses.curves}) if options.kind == "grid" else 1
        width, height = options.size
        least_width, least_height = smallest_size(options.kind, panels)
        if width < least_width or height < least_height:
            raise UsageProblem(f"--size {width}x{height} is too small for {panels} panel{'s' if panels > 1 else ''}: "
                               f"at least {least_width}x{least_height}")
        figure = plt.figure(figsize=(width / DOTS_PER_INCH, height / DOTS_PER_INCH), dpi=DOTS_PER_INCH,
                            layout="constrained")
        summary = Summary()
        plot = plot_grid if options.kind == "grid" else plot_overlay
        plot(responses, figure, options.title, summary)
        write_picture(figure, options.picture, picture_kind, options.force)
    except UsageProblem as problem:
        print(f"plot_responses.py: {problem}", file=sys.stderr)
        return EXIT_BAD_ARGUMENTS
    except PlotError as error:
        print(f"plot_responses.py: {error}", file=sys.stderr)
        return EXIT_FAILURE
    except MemoryError:
        print(f"plot_responses.py: not enough memory to draw '{options.picture}'", file=sys.stderr)
        return EXIT_FAILURE
    except OSError as error:
        print(f"plot_responses.py: cannot write '{options.picture}': {error.strerror}", file=sys.stderr)
        return EXIT_FAILURE
    print("\n".join(summary_lines(options.picture, picture_kind, options.size, responses, panels, summary)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
