#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: short host sessions in the fuzzer's action
encoding (see HostActionsFuzzer.cpp), one file per session."""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from pole_configs import names  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def word(value):
    return struct.pack(">I", value & 0xFFFFFFFF)


def poles(value):
    return bytes([2]) + word(value)


def type_(value):
    return bytes([3]) + word(value)


def rate(choice):
    return bytes([4, choice])


def open_():
    return bytes([8])


def status(pin, value):
    return bytes([1, pin, value])


def fill(pin, start, length, sample_byte, ramp_to=None):
    if ramp_to is None:
        return bytes([7, pin]) + word(start) + word(length - 1) + bytes([1, sample_byte])
    return bytes([7, pin]) + word(start) + word(length - 1) + bytes([0, sample_byte, ramp_to])


def fill_value(pin, start, length, value_byte):
    """A constant run of (value_byte - 128) / 64, the fuzzer's small-number choice."""
    return bytes([7, pin]) + word(start) + word(length - 1) + bytes([1, 128, value_byte])


def fill_bits(pin, start, length, value):
    """A constant run of any float, given by its bits (the fuzzer's raw-float choice)."""
    return bytes([7, pin]) + word(start) + word(length - 1) + bytes([1, 64]) + struct.pack(">f", value)


def fill_square(pin, start, length, first, last, half_period):
    """Samples switching between two choices every half_period samples (1: every sample)."""
    return bytes([7, pin]) + word(start) + word(length - 1) + bytes([2]) + first + last + bytes([half_period - 1])


def special(index):
    """One of the fuzzer's special values, as a sample choice."""
    return bytes([index])


def bits(value):
    """Any float, as a sample choice."""
    return bytes([64]) + struct.pack(">f", value)


def process_small_blocks(block_size, length, start=0):
    return bytes([10, block_size - 1]) + word(start) + word(length - 1)


def process(count, start=0):
    return bytes([6]) + word(count) + bytes([1]) + word(start)


HEADER = bytes([1, 1])  # one pin per description, with a callback
SPECIAL_NAN = 11  # index into the fuzzer's special values
SPECIAL_HUGE = 7
SPECIAL_ZERO, SPECIAL_ONE, SPECIAL_MINUS_ONE = 0, 2, 3

# Open, Signal a 10 V square, Resonance 10 V, Zing 50 V, Pitch jumping between
# 0 V and 10 V every sample.
AUDIO_RATE_PITCH = (HEADER + open_() + status(0, 2)
                    + fill_square(0, 0, 4096, special(SPECIAL_ONE), special(SPECIAL_MINUS_ONE), 32)
                    + fill_square(1, 0, 4096, special(SPECIAL_ZERO), special(SPECIAL_ONE), 1)
                    + fill_bits(2, 0, 4096, 1.0) + fill_bits(3, 0, 4096, 5.0))

SESSIONS = {
    "stream-every-configuration": HEADER + b"".join(
        poles(p) + open_() + status(0, 2) + fill(0, 0, 200, 200) + process(64) for p in range(0, len(names()), 3)),
    "silence-then-sleep": HEADER + open_() + status(0, 2) + process(64) + status(0, 0) + process(512) * 3,
    "switch-while-streaming": HEADER + open_() + status(0, 2) + fill(0, 0, 512, 230) + process(128)
    + poles(18) + status(4, 1) + process(128) + type_(1) + status(5, 1) + process(128),
    "nan-and-huge-inputs": HEADER + open_() + status(0, 2) + fill(0, 0, 64, SPECIAL_NAN) + process(64)
    + fill(2, 0, 64, SPECIAL_HUGE) + process(64) + fill(1, 10, 20, 3) + process(64),
    "odd-sample-rates": HEADER + rate(6) + open_() + status(0, 2) + process(37) + rate(5) + status(0, 0)
    + process(16) + status(0, 2) + process(8192),
    # Signal within -10 .. 0 V, Resonance and Zing in range, Pitch at -32 kV: the
    # low-pitch boost once grew without limit there (76 V out).
    "regression-huge-negative-pitch": HEADER + open_() + status(0, 2) + fill_value(0, 0, 512, 96)
    + fill_bits(1, 0, 512, -322797.0) + process(512),
    # Light loops once ran to the 10 kV ceiling here, with every input in range.
    "regression-audio-rate-pitch-single-sample-blocks": AUDIO_RATE_PITCH
    + b"".join(process(1, start) for start in range(56)),
    "audio-rate-pitch-in-small-blocks": AUDIO_RATE_PITCH + poles(5) + process_small_blocks(1, 1024),
    "ramps": HEADER + open_() + status(0, 2) + fill(1, 0, 4096, 128, 250) + fill(2, 0, 4096, 128, 192)
    + fill(0, 0, 4096, 20, 240) + process(4096),
}


def main():
    folder = os.path.join(HERE, "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in SESSIONS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
