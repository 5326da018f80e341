#!/usr/bin/env python3
"""Prints the table of src/dsp/Exp2.h: 2^(j/64) as a double and its rounding remainder."""
import mpmath

TABLE_SIZE = 64
mpmath.mp.prec = 200  # far beyond the two doubles kept per entry

for j in range(TABLE_SIZE):
    exact = mpmath.power(2, mpmath.mpf(j) / TABLE_SIZE)
    high = float(exact)
    low = float(exact - mpmath.mpf(high))
    print(f"    {{{high.hex()}, {low.hex()}}},")
