#!/usr/bin/env bash
# Compiles the binary interface header as plain C (C99 and C11) for 32- and
# 64-bit targets, with its sizes and offsets checked by _Static_assert.
set -euo pipefail
cd "$(dirname "$0")/.."
check=tests/interface/InterfaceHeaderCheck.c
for target in i686-linux-gnu x86_64-linux-gnu i686-w64-windows-gnu x86_64-w64-windows-gnu; do
  for standard in c99 c11; do
    # _Static_assert is C11; C99 compilers take it as an extension, so only pedantry is relaxed there.
    pedantic=-pedantic-errors
    [ "$standard" = c99 ] && pedantic=-Wno-c11-extensions
    clang --target="$target" -std="$standard" $pedantic -Wall -Wextra -Werror -ffreestanding -fsyntax-only \
      -Isrc "$check"
    echo "$target $standard: ok"
  done
done
