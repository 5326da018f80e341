#!/usr/bin/env python3
"""Designs the plug-ins' half-band resampling stages and writes src/plugins/resampler/HalfBandCoefficients.h.

Usage: design_halfband.py [OUTPUT_HEADER]

Two stages, both Kaiser-windowed half-band sincs (every second tap zero, the
centre tap 1/2), each the shortest that meets its target:

- the long stage runs between the base rate (44.1 or 48 kHz) and twice it;
  it keeps 0 .. 18 kHz and rejects what would fold onto it (from 26.1 kHz at
  88.2 kHz, the narrower of the two families), at least 96 dB: 90 dB with room
  for the float arithmetic.
- the short stage runs between twice and four times the base rate; what it
  must reject folds onto 0 .. 18 kHz only from 70.2 kHz at 176.4 kHz (what it
  lets through below that, the long stage removes).

Pure Python (math only), so that it runs on a machine without numpy.
"""
import math
import sys

PASSBAND_HZ = 18000.0
NARROW_BASE_HZ = 44100.0
REJECTION_DB = 96.0
RIPPLE_DB = 0.02  # peak to peak over the passband, per stage


def bessel_i0(x):
    total, term, k = 1.0, 1.0, 1
    while term > 1e-17 * total:
        term *= (x / (2.0 * k)) ** 2
        total += term
        k += 1
    return total


def kaiser_beta(attenuation_db):
    return 0.1102 * (attenuation_db - 8.7)


def half_band(taps, beta):
    """Kaiser-windowed half-band sinc of `taps` taps (4k + 3), centre tap 1/2."""
    middle = (taps - 1) // 2
    coefficients = []
    for n in range(taps):
        offset = n - middle
        ideal = 0.5 if offset == 0 else math.sin(math.pi * offset / 2.0) / (math.pi * offset)
        ratio = offset / middle
        window = bessel_i0(beta * math.sqrt(max(0.0, 1.0 - ratio * ratio))) / bessel_i0(beta)
        coefficients.append(ideal * window)
    # Unity gain at DC exactly: the side taps carry the half the centre tap does not.
    side = sum(c for i, c in enumerate(coefficients) if i != middle)
    return [0.5 if i == middle else c * 0.5 / side for i, c in enumerate(coefficients)]


def magnitude(coefficients, normalized):
    middle = (len(coefficients) - 1) // 2
    return abs(sum(c * math.cos(2.0 * math.pi * normalized * (n - middle)) for n, c in enumerate(coefficients)))


def to_db(value):
    return 20.0 * math.log10(max(value, 1e-30))


def measure(coefficients, passband_edge, grid=2000):
    """(passband ripple peak to peak in dB, stopband rejection in dB), normalised frequencies."""
    passband = [to_db(magnitude(coefficients, passband_edge * i / grid)) for i in range(grid + 1)]
    stop_edge = 0.5 - passband_edge
    stopband = [to_db(magnitude(coefficients, stop_edge + (0.5 - stop_edge) * i / grid)) for i in range(grid + 1)]
    return max(passband) - min(passband), -max(stopband)


def shortest(passband_edge):
    beta = kaiser_beta(REJECTION_DB + 3.0)
    for taps in range(7, 400, 4):
        coefficients = half_band(taps, beta)
        ripple, rejection = measure(coefficients, passband_edge)
        if ripple <= RIPPLE_DB and rejection >= REJECTION_DB:
            return coefficients, ripple, rejection
    sys.exit("design_halfband: no design meets the targets")


def side_taps(coefficients):
    """The nonzero taps left of the centre, outermost first: the stage's polyphase branch."""
    middle = (len(coefficients) - 1) // 2
    return [coefficients[n] for n in range(0, middle, 2)]


def emit(name, purpose, coefficients, ripple, rejection):
    taps = side_taps(coefficients)
    lines = [f"/// {purpose}", f"/// {len(coefficients)} taps; alone: passband ripple {ripple:.4f} dB, rejection {rejection:.1f} dB.",
             f"inline constexpr std::array<float, {len(taps)}> {name}{{{{"]
    lines += [f"    {t!r}f," for t in taps]
    lines.append("}};")
    return lines


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else "src/plugins/resampler/HalfBandCoefficients.h"
    long_stage = shortest(PASSBAND_HZ / (2.0 * NARROW_BASE_HZ))
    short_stage = shortest(PASSBAND_HZ / (4.0 * NARROW_BASE_HZ))
    lines = [
        "// The half-band resampling stages' taps, written by tools/design_halfband.py: do not edit.",
        "#pragma once",
        "",
        "#include <array>",
        "",
        "namespace vexaplugin::resampler {",
        "",
        "// Each stage is symmetric with its centre tap 1/2 and every second tap zero;",
        "// listed are the nonzero taps left of the centre, outermost first.",
        "",
    ]
    lines += emit("longStageTaps", "Between the base rate and twice it: 0 .. 18 kHz kept.", *long_stage)
    lines.append("")
    lines += emit("shortStageTaps", "Between twice and four times the base rate.", *short_stage)
    lines += ["", "}  // namespace vexaplugin::resampler", ""]
    with open(output, "w") as f:
        f.write("\n".join(lines))
    for label, (coefficients, ripple, rejection) in (("long", long_stage), ("short", short_stage)):
        print(f"{label} stage: {len(coefficients)} taps, ripple {ripple:.4f} dB, rejection {rejection:.1f} dB")


if __name__ == "__main__":
    main()
