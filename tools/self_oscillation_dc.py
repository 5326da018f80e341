#!/usr/bin/env python3
"""Prints, as a Markdown table, the DC offset of each pole configuration's self-oscillation (vexa-host render)."""
import argparse
import array
import math
import re
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

VOLTS_PER_UNIT = 10.0  # the host's full scale 1.0 is 10 V
# Below this RMS over the last second (-100 dBFS) the filter has fallen silent: no oscillation.
SILENT_RMS = 1e-5


def configurations(host):
    """The Poles labels in the module's list order, as `vexa-host info` decodes them."""
    info = subprocess.run([host, "info"], check=True, capture_output=True, text=True).stdout
    section = info.split("\nPoles (label = value", 1)[1].split("\n\n", 1)[0]
    return re.findall(r"(\S+) = \d+", section)


def float_wav(path):
    """Samples of a mono 32-bit float WAV as vexa-host writes it."""
    data = Path(path).read_bytes()
    position = 12  # past "RIFF", its size and "WAVE"
    while position + 8 <= len(data):
        name, size = data[position:position + 4], struct.unpack("<I", data[position + 4:position + 8])[0]
        if name == b"data":
            samples = array.array("f", data[position + 8:position + 8 + size])
            if sys.byteorder != "little":
                samples.byteswap()
            return samples
        position += 8 + size + (size & 1)
    raise ValueError(f"{path}: no data chunk")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", default=str(Path(__file__).resolve().parent.parent / "build/linux/vexa-host"))
    parser.add_argument("--pitch", default="7,9,10", help="Pitch values in volts, comma separated: one column each")
    parser.add_argument("--resonance", default="10", help="Resonance in volts")
    parser.add_argument("--rate", type=int, default=48000)
    parser.add_argument("--seconds", type=float, default=3.0, help="length of the render; the last second is measured")
    args = parser.parse_args()
    pitches = args.pitch.split(",")
    print("| Poles | " + " | ".join(f"Pitch {pitch} V" for pitch in pitches) + " |")
    print("|---|" + "---:|" * len(pitches))
    with tempfile.TemporaryDirectory() as folder:
        output = Path(folder) / "out.wav"
        for poles in configurations(args.host):
            cells = []
            for pitch in pitches:
                subprocess.run([args.host, "render", "--signal", "impulse", "--duration", str(args.seconds), "--rate",
                                str(args.rate), "--poles", poles, "--pitch", pitch, "--resonance", args.resonance,
                                "-o", str(output), "--force"], check=True, capture_output=True)
                last = float_wav(output)[-args.rate:]
                mean = math.fsum(last) / len(last)
                rms = math.sqrt(math.fsum(x * x for x in last) / len(last))
                offset = f"{mean * VOLTS_PER_UNIT:+.2f}".replace("-0.00", "0.00").replace("+0.00", "0.00")
                cells.append("-" if rms < SILENT_RMS else f"{offset} V of {rms * VOLTS_PER_UNIT:.1f} V RMS")
            print(f"| {poles} | " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
