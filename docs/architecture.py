#!/usr/bin/python3
"""Draws docs/architecture.png: the code's layers and the way includes point.

Usage: python3 docs/architecture.py [OUTPUT.png]
"""
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
from matplotlib.patches import FancyArrowPatch, FancyBboxPatch

# One box per layer: (x, y, width, height) in figure units, its title, its folders and what it holds.
LAYERS = [
    ((0.4, 6.2, 4.4, 1.5), "tools", "src/vexa-host/", "vexa-host info, render, response;\naudio files, signals, measurement"),
    ((5.2, 6.2, 4.4, 1.5), "plug-ins", "src/plugins/", "LV2, VST3, CLAP entries; FilterEngine;\nthe editor (ui/); presets"),
    ((0.4, 4.3, 8.4, 1.3), "host library", "src/hostlib/", "loads a module (a file, or linked in); an instance with its pins,\nbuffers and callback; pin choices; impulse responses"),
    ((0.4, 2.4, 8.4, 1.3), "module adapter", "src/host/  src/filter/", "the binary host interface, ModuleBase and its dispatcher, Pin;\nLadderFilter: pins, status, silence and sleep, the two exports"),
    ((0.4, 0.5, 9.2, 1.3), "filter core", "src/dsp/", "LadderState, the configuration table (PoleConfigs.h), the coefficient update,\nthe generic kernel (Kernel.h), the block tail; processBlock(state, config, io)"),
]
# Includes point down: (from layer, to layer).
INCLUDES = [(0, 2), (1, 2), (1, 4), (2, 3), (3, 4)]
COLOURS = ["#dbe8f5", "#dbe8f5", "#e3f1dc", "#f7ecd5", "#f5dede"]


def centre_bottom(box):
    (x, y, w, _h) = box
    return (x + w / 2, y)


def draw(output: Path) -> None:
    fig, ax = plt.subplots(figsize=(10, 8.2), dpi=100)
    ax.set_xlim(0, 10)
    ax.set_ylim(0, 8.2)
    ax.axis("off")
    for (box, title, folder, holds), colour in zip(LAYERS, COLOURS):
        x, y, w, h = box
        ax.add_patch(FancyBboxPatch((x, y), w, h, boxstyle="round,pad=0.02,rounding_size=0.12",
                                    facecolor=colour, edgecolor="#445", linewidth=1.2))
        ax.text(x + 0.2, y + h - 0.28, title, fontsize=13, fontweight="bold", va="center")
        ax.text(x + w - 0.2, y + h - 0.28, folder, fontsize=10, family="monospace", ha="right", va="center",
                color="#334")
        ax.text(x + 0.2, y + (h - 0.5) / 2, holds, fontsize=9.5, va="center", color="#222")
    for source, target in INCLUDES:
        (sx, sy, sw, _sh), (tx, ty, tw, th) = LAYERS[source][0], LAYERS[target][0]
        start = (sx + sw / 2, sy)
        # Arrive above the start where the target is wider, so that arrows stay vertical.
        end_x = min(max(start[0], tx + 0.3), tx + tw - 0.3)
        if target == 4 and source == 1:
            # Past the layers between: the plug-ins run the core on the host's buffers themselves.
            start = (sx + sw - 0.4, sy)
            end_x = start[0]
        ax.add_patch(FancyArrowPatch(start, (end_x, ty + th), arrowstyle="-|>", mutation_scale=16,
                                     color="#556", linewidth=1.3))
    ax.text(5, 8.0, "Includes point down the layers", fontsize=12, ha="center", va="center", color="#333")
    ax.text(9.05, 3.9, "the plug-ins run the core themselves", fontsize=8.5, rotation=90, ha="center",
            va="center", color="#555", style="italic")
    fig.savefig(output, bbox_inches="tight")


if __name__ == "__main__":
    draw(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("architecture.png"))
