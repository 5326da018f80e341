#!/usr/bin/python3
"""The rows of the configuration table, read from src/dsp/PoleConfigs.h, for the scripts and tools
that need them without a build: each row's Poles value and name ("2:4f").

Usage as a program: pole_configs.py [--count]   (prints "VALUE NAME" per row, or the number of rows)
"""
import re
import sys
from pathlib import Path

TABLE = Path(__file__).resolve().parent.parent / "src" / "dsp" / "PoleConfigs.h"
ROW = re.compile(r'^\s*\{\{" *([^" ]+) Pole[^"]*",\s*\d+\},\s*chain\(.*//\s*(\d+)\s*$')


def names(table: Path = TABLE) -> dict:
    """Poles value -> name, for the rows every build has (not the test-only extra row)."""
    rows, optional = {}, False
    for line in table.read_text().splitlines():
        if line.startswith("#ifdef"):
            optional = True
        elif line.startswith("#endif"):
            optional = False
        elif not optional and (match := ROW.match(line)):
            rows[int(match.group(2))] = match.group(1)
    if sorted(rows) != list(range(len(rows))):
        sys.exit(f"{table}: the rows' numbers are not 0 to {len(rows) - 1}")
    return rows


if __name__ == "__main__":
    table = names()
    if sys.argv[1:] == ["--count"]:
        print(len(table))
    else:
        for value, name in sorted(table.items()):
            print(value, name)
