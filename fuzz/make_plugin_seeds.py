#!/usr/bin/env python3
"""Writes the plug-in fuzzers' seed corpora (fuzz/corpus-clap, fuzz/corpus-vst3): host lives in
the fuzzers' action encoding (ClapPluginFuzzer.cpp, Vst3PluginFuzzer.cpp), among them every
stored state of tests/plugins/states loaded as a host hands it back. Files named regression-*
are findings and are kept; the others are rewritten."""
import base64
import glob
import os
import re
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
STATES = os.path.join(HERE, "..", "tests", "plugins", "states")


def word(value):
    return struct.pack(">I", value & 0xFFFFFFFF)


RATE_48K, RATE_96K, RATE_22K = 1, 3, 2
BLOCK_64, BLOCK_LARGEST = 63, 210  # choice % 64 + 1 below 200; 200..249 is the largest block
FULL_BLOCK = 20                     # a block of the largest promised size
NORMAL, ALIASED, NULL_INPUT, NULL_ARRAYS = 0x00, 0x0C, 0x03, 0x40
RAMP, SQUARE = 0, 1
LEVEL_4V = 128 + 48


def value(number):
    """A parameter value on the fuzzers' own scale (a choice of 64 or more, then b1 and b2): (b1 + b2 / 256) / 5 - 1."""
    scaled = (number + 1.0) * 5.0
    return bytes([64, int(scaled), int((scaled - int(scaled)) * 256)])


def buffers(shape=NORMAL, fill=RAMP, level=LEVEL_4V):
    return bytes([shape, fill, level])


class Clap:
    ACTIVATE, DEACTIVATE, PROCESS, SAVE, LOAD, FLUSH, TOGGLE = 0, 1, 2, 4, 5, 6, 7

    @staticmethod
    def event(kind, param, number, time_byte=0, timing=0):
        """kind 0 value, 3 modulation, 4 note, 7 unknown type; timing < 160 inside the block, 160 .. 199 past it
        (param 200 .. 229: an unknown id)."""
        extra = {4: b"\0\x3c", 7: b"\x05"}.get(kind, b"")
        return bytes([kind, timing, time_byte, param]) + value(number) + extra

    @classmethod
    def activate(cls, rate, block):
        return bytes([cls.ACTIVATE, rate, block])

    @classmethod
    def process(cls, events=(), shape=NORMAL, fill=RAMP, size=FULL_BLOCK):
        return bytes([cls.PROCESS, size]) + buffers(shape, fill) + bytes([len(events)]) + b"".join(events) + b"\0"

    @classmethod
    def load(cls, kind, at=0, extra=b""):
        return bytes([cls.LOAD, kind]) + word(at) + extra


class Vst3:
    ACTIVATE, DEACTIVATE, PROCESS, SAVE, LOAD, CONTROLLER = 0, 1, 2, 4, 5, 6

    @staticmethod
    def queue(index, points):
        """Points of (offset byte, normalized choice 0..199) inside the block."""
        return bytes([index, len(points)]) + b"".join(bytes([0, offset, choice]) for offset, choice in points)

    @classmethod
    def activate(cls, block, rate):
        return bytes([cls.ACTIVATE, block, rate])

    @classmethod
    def process(cls, queues=(), shape=NORMAL, fill=RAMP, size=FULL_BLOCK):
        return bytes([cls.PROCESS, size]) + buffers(shape, fill) + bytes([len(queues)]) + b"".join(queues) + b"\0"

    @classmethod
    def load(cls, kind, at=0, extra=b""):
        return bytes([cls.LOAD, kind]) + word(at) + extra


def raw_state(data):
    """A state as the fuzzers' garbage mutation takes it: a length byte, then the bytes."""
    data = data[:255]
    return bytes([len(data)]) + data


def ardour_component_state(path):
    """The component state inside the VST3 chunk of an Ardour session: a VST3 preset whose chunk list,
    at the offset after the 32-digit class id, names each chunk's id, offset and size."""
    session = open(path, encoding="utf-8").read()
    chunk = base64.b64decode(re.search(r'type="vst3".*?<chunk>(.*?)</chunk>', session, re.S).group(1))
    (list_at,) = struct.unpack_from("<q", chunk, 40)
    (count,) = struct.unpack_from("<i", chunk, list_at + 4)
    for i in range(count):
        name, offset, size = struct.unpack_from("<4sqq", chunk, list_at + 8 + 20 * i)
        if name == b"Comp":
            return chunk[offset:offset + size]
    raise ValueError(f"{path}: no component state in its VST3 chunk")


def clap_seeds():
    seeds = {}
    setting = [Clap.event(0, p, v, t) for p, v, t in ((0, 7.25, 0), (1, 8.5, 40), (2, 33, 90), (3, 24, 0), (4, 1, 200))]
    for plugin, name in ((0, "mono"), (1, "stereo")):
        seeds[f"session-{name}"] = (bytes([plugin]) + Clap.activate(RATE_48K, BLOCK_64) + Clap.process(setting) +
                                    Clap.process() * 3 + bytes([Clap.SAVE]) + Clap.load(0) + Clap.load(1, 40) +
                                    Clap.load(5) + Clap.load(4, 1) + bytes([Clap.DEACTIVATE]) +
                                    Clap.activate(RATE_96K, BLOCK_LARGEST) + Clap.process() + Clap.process(size=0))
        seeds[f"hostile-buffers-{name}"] = (bytes([plugin]) + Clap.activate(RATE_22K, BLOCK_64) +
                                            Clap.process(shape=NULL_ARRAYS) + Clap.process(shape=ALIASED) +
                                            Clap.process(shape=NULL_INPUT, fill=SQUARE) + Clap.process(size=0))
        odd_events = [Clap.event(0, 205, 3.0), Clap.event(0, 0, 9.0, 250, 10), Clap.event(0, 1, 2.0, 0, 170),
                      Clap.event(3, 0, 1.0), Clap.event(4, 2, 0.5), Clap.event(7, 3, 1.0), Clap.event(0, 3, 29.0, 5)]
        seeds[f"odd-events-{name}"] = (bytes([plugin]) + Clap.activate(RATE_48K, BLOCK_64) + Clap.process(odd_events) +
                                       bytes([Clap.FLUSH, 2]) + Clap.event(0, 0, 10.5, 0, 170) + Clap.event(0, 4, 0.0, 0, 170) +
                                       Clap.process())
    for path in sorted(glob.glob(os.path.join(STATES, "clap-*.state"))):
        plugin = 1 if "stereo" in path else 0
        stem = os.path.basename(path)[:-len(".state")]
        seeds[f"stored-{stem}"] = (bytes([plugin]) + Clap.activate(RATE_48K, BLOCK_64) + Clap.process() +
                                   Clap.load(6, 0, raw_state(open(path, "rb").read())) + Clap.process() + bytes([Clap.SAVE]) +
                                   Clap.load(2, 60, b"\x01"))
    return seeds


def vst3_seeds():
    seeds = {}
    setting = [Vst3.queue(i, [(0, choice)]) for i, choice in ((1, 120), (2, 150), (3, 80), (4, 125), (5, 199))]
    for plugin, name in ((0, "mono"), (1, "stereo")):
        seeds[f"session-{name}"] = (bytes([plugin]) + Vst3.activate(BLOCK_64, RATE_48K) + Vst3.process(setting) +
                                    Vst3.process() * 3 + bytes([Vst3.SAVE]) + Vst3.load(0) + Vst3.load(1, 40) +
                                    Vst3.load(5) + Vst3.load(4, 1) + bytes([Vst3.DEACTIVATE]) +
                                    Vst3.activate(BLOCK_LARGEST, RATE_96K) + Vst3.process() + Vst3.process(size=0))
        seeds[f"hostile-buffers-{name}"] = (bytes([plugin]) + Vst3.activate(BLOCK_64, RATE_22K) +
                                            Vst3.process(shape=NULL_ARRAYS) + Vst3.process(shape=ALIASED) +
                                            Vst3.process(shape=NULL_INPUT, fill=SQUARE) + Vst3.process(size=0))
        odd = [Vst3.queue(1, [(200, 10), (0, 199), (100, 50)]), Vst3.queue(0, [(0, 199)]), Vst3.queue(9, [(0, 100)]),
               Vst3.queue(4, [(255, 199), (3, 0)])]
        seeds[f"odd-changes-{name}"] = (bytes([plugin]) + Vst3.activate(BLOCK_64, RATE_48K) + Vst3.process(odd) +
                                        bytes([Vst3.CONTROLLER, 1, 150, Vst3.CONTROLLER, 0, 199]) + Vst3.process())
    stored = {os.path.basename(path)[:-len(".state")]: open(path, "rb").read()
              for path in glob.glob(os.path.join(STATES, "vst3-*.state"))}
    for path in glob.glob(os.path.join(STATES, "*vst3*.ardour")):
        stored[os.path.basename(path)[:-len(".ardour")]] = ardour_component_state(path)
    for stem, data in sorted(stored.items()):
        plugin = 1 if "stereo" in stem else 0
        seeds[f"stored-{stem}"] = (bytes([plugin]) + Vst3.activate(BLOCK_64, RATE_48K) + Vst3.process() +
                                   Vst3.load(6, 0, raw_state(data)) + Vst3.process() + bytes([Vst3.SAVE]) +
                                   Vst3.load(2, 60, b"\x01"))
    return seeds


def write(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if not name.startswith("regression-"):
            os.remove(os.path.join(folder, name))
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write(os.path.join(HERE, "corpus-clap"), clap_seeds())
    write(os.path.join(HERE, "corpus-vst3"), vst3_seeds())
