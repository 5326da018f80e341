#!/usr/bin/env bash
# Fails if the per-sample code or the coefficient update of the 32-bit module
# uses x87 floating point or calls a power function: they must compute with
# SSE2 so that they match the other builds to the bit and keep their speed.
# Usage: check-sse2.sh FILE
set -euo pipefail
dll=$1
# One block routine and one coefficient update per row of the configuration table.
rows=$(python3 "$(dirname "$0")/pole_configs.py" --count)
i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll" | awk -v rows="$rows" '
  /^[0-9a-f]+ <.*>:$/ {
    inBlockCode = ($0 ~ /kernelEntry|processBlock|runBlock|runKernel|BlockKernel|finishBlock|updateFor/)
    name = $2
    if ($0 ~ /kernelEntry/ && $0 !~ /\.cold>/) routines++
    if ($0 ~ /updateFor/ && $0 !~ /\.cold>/) updates++
    if ($0 ~ /<_?exp2[fl]?>|<_?pow[fl]?>/) { print "power function linked in: " name; power++ }
    if (inBlockCode) functions++
    next
  }
  inBlockCode && /\t/ {
    n = split($0, field, "\t")
    mnemonic = field[n]
    sub(/[ \t].*/, "", mnemonic)
    if (mnemonic ~ /^f/) { if (x87 < 10) print "x87 in " name ": " field[n]; x87++ }
    if (mnemonic ~ /ss$|sd$|ps$|pd$/) sse++
    if (mnemonic ~ /^call/ && field[n] ~ /exp2|pow/) { print "power function called in " name ": " field[n]; power++ }
  }
  END {
    if (routines != rows) { print "expected " rows " block routines, found " routines + 0; exit 1 }
    if (updates != rows) { print "expected " rows " coefficient updates, found " updates + 0; exit 1 }
    if (x87 > 0) { print x87 " x87 instructions in the block code"; exit 1 }
    if (power > 0) { print "the power function of the C library is in the module"; exit 1 }
    printf "check-sse2: %d block and update functions, %d SSE instructions, no x87, no library power function\n", functions, sse
  }'
