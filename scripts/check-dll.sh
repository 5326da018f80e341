#!/usr/bin/env bash
# Checks a built Windows module: machine type, exactly the two exports, the
# library's internal name, and imports from KERNEL32.dll and msvcrt.dll only.
# Usage: check-dll.sh FILE i386|x86-64
set -euo pipefail
dll=$1
arch=$2
case "$arch" in
  i386) objdump=i686-w64-mingw32-objdump; format='pei-i386' ;;
  x86-64) objdump=x86_64-w64-mingw32-objdump; format='pei-x86-64' ;;
  *) echo "check-dll: unknown architecture $arch" >&2; exit 2 ;;
esac

headers=$("$objdump" -p "$dll")
failures=0
fail() { echo "check-dll: $dll: $*" >&2; failures=$((failures + 1)); }

grep -q "file format $format" <<<"$headers" || fail "not a $format file"
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on {on=0}' <<<"$headers" | sort | tr '\n' ' ')
[ "$exports" = "getModuleProperties makeModule " ] || fail "exports are '$exports'"
grep -qE '^Name[[:space:]]+[0-9a-f]+ Module\.sep$' <<<"$headers" || fail "export directory does not name the library Module.sep"
imports=$(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || fail "imports from '$imports'"

if [ "$failures" -eq 0 ]; then
  echo "check-dll: $dll: $format, exports getModuleProperties and makeModule, named Module.sep, imports $imports"
fi
exit $((failures > 0))
