#!/usr/bin/env bash
# Checks the Windows x86-64 plug-ins (mono and stereo): machine type, only the format's entry
# points and the DLL entry function exported, imports from system libraries
# only (the C++ runtime is linked in; the interface draws with GDI, USER32 and
# OpenGL, and DPF's file dialogue brings comdlg32).
# Usage: check-windows-plugins.sh PLUGIN_DIR   (the win64 folder with vst3/ and clap/)
set -uo pipefail
dir=$1
failures=0

# check FILE EXPORTS: one binary against the exports it must have, no more.
check() {
  local file=$1 expected=$2 headers exports imports
  if ! headers=$(x86_64-w64-mingw32-objdump -p "$file"); then
    echo "FAILED $file: cannot read it"
    failures=$((failures + 1))
    return
  fi
  exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on {on=0}' <<<"$headers" | sort | tr '\n' ' ')
  imports=$(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | sort | tr '\n' ' ')
  if grep -q 'file format pei-x86-64' <<<"$headers" && [ "$exports" = "$expected" ] &&
     [ "$imports" = "GDI32.dll KERNEL32.dll OPENGL32.dll USER32.dll comdlg32.dll msvcrt.dll " ]; then
    echo "ok     $file: pei-x86-64, exports $exports, imports $imports"
  else
    echo "FAILED $file: $(grep -o 'file format.*' <<<"$headers"), exports '$exports', imports '$imports'"
    failures=$((failures + 1))
  fi
}

# DPF's own entry points, renamed behind ours (src/plugins/ClapEntry.cpp, Vst3Entry.cpp),
# keep the export mark DPF writes on them, which no export list takes back on Windows;
# hosts look up only the format's names.
for product in VexaLPFilter2 VexaLPFilter2Stereo; do
  check "$dir/clap/$product.clap" "DllMain clap_entry dpf_clap_entry "
  check "$dir/vst3/$product.vst3/Contents/x86_64-win/$product.vst3" "DllMain ExitDll GetPluginFactory InitDll dpf_GetPluginFactory "
done
exit $((failures > 0))
