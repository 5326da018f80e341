#!/usr/bin/env python3
"""Prints, as a Markdown table, the resonant peak frequency against Pitch at several sample rates (vexa-host response --peaks)."""
import argparse
import subprocess
import sys
from pathlib import Path

RATES = (44100, 48000, 96000, 192000)


def peaks(host, poles, resonance, rate):
    """Pitch in volts -> peak frequency in Hz, or None where no peak stands out; '*' marks self-oscillation."""
    table = subprocess.run([host, "response", "--peaks", "--poles", poles, "--resonance", str(resonance),
                            "--rate", str(rate)], check=True, capture_output=True, text=True).stdout
    found = {}
    for line in table.splitlines():
        fields = line.split()
        if not fields or line.startswith("#") or fields[0] == "pitch_v":
            continue
        pitch, peak, height = float(fields[0]), fields[2], fields[3]
        found[pitch] = None if peak == "-" else f"{float(peak):.0f}" + ("*" if height == "*" else "")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", default=str(Path(__file__).resolve().parent.parent / "build/linux/vexa-host"))
    parser.add_argument("--resonance", type=float, default=8.0, help="Resonance in volts")
    parser.add_argument("poles", nargs="+", help="pole configurations, e.g. 4:4 2:4f")
    args = parser.parse_args()
    columns = [(poles, rate) for poles in args.poles for rate in RATES]
    measured = {column: peaks(args.host, column[0], args.resonance, column[1]) for column in columns}
    pitches = sorted(next(iter(measured.values())).keys())
    print("| Pitch | nominal | " + " | ".join(f"{poles} {rate / 1000:g} kHz" for poles, rate in columns) + " |")
    print("|---:|---:|" + "---:|" * len(columns))
    for pitch in pitches:
        nominal = 440.0 * 2.0 ** (pitch - 5.0)
        cells = [measured[column][pitch] or "-" for column in columns]
        print(f"| {pitch:g} V | {nominal:.0f} | " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
