#!/bin/sh
# Installs Vexa LP Filter 2 from this folder, as `make install` does from a build:
#
#   ./install.sh                      the plug-ins into ~/.lv2, ~/.vst3 and ~/.clap, vexa-host into ~/.local/bin
#   ./install.sh --prefix /usr        into /usr/lib/lv2, /usr/lib/vst3, /usr/lib/clap and /usr/bin (as root)
#   ./install.sh --uninstall [--prefix DIR]
#                                     removes what that install wrote, and the folders it made once
#                                     they are empty; nothing else
#
# DESTDIR, when set, is put in front of every path (a staging root). The list of what was
# written is kept in the private folder (.../lib/vexa-lp-filter-2/installed-files).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
prefix=
uninstall=
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || { echo "install.sh: --prefix needs a folder" >&2; exit 2; }; prefix=$2; shift ;;
    --prefix=*) prefix=${1#--prefix=} ;;
    --uninstall) uninstall=1 ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "install.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done

destdir=${DESTDIR:-}
if [ -n "$prefix" ]; then
  case "$prefix" in /*) ;; *) echo "install.sh: --prefix takes an absolute folder, not '$prefix'" >&2; exit 2 ;; esac
  root=$destdir${prefix%/}
  lv2=$root/lib/lv2 vst3=$root/lib/vst3 clap=$root/lib/clap lib=$root/lib/vexa-lp-filter-2 bin=$root/bin
  man=$root/share/man/man1
else
  root=$destdir${HOME:?HOME is not set}
  lv2=$root/.lv2 vst3=$root/.vst3 clap=$root/.clap lib=$root/.local/lib/vexa-lp-filter-2 bin=$root/.local/bin
  man=$root/.local/share/man/man1
fi
record=$lib/installed-files

if [ -n "$uninstall" ]; then
  [ -f "$record" ] || { echo "install.sh: nothing to uninstall: $record does not exist" >&2; exit 1; }
  # Files and links first, then the folders, deepest first, each only when empty.
  grep '^file ' "$record" | cut -c6- | while IFS= read -r path; do
    rm -f "$path" && echo "removed $path"
  done
  # The record lives in the private folder: read, then gone, before the folders go.
  folders=$(grep '^folder ' "$record.folders" 2>/dev/null | cut -c8-; echo "$lib")
  rm -f "$record" "$record.folders"
  printf '%s\n' "$folders" | awk '{ print gsub("/", "/") " " $0 }' | sort -rn | cut -d' ' -f2- |
    while IFS= read -r path; do
      rmdir "$path" 2>/dev/null && echo "removed empty folder $path" || true
    done
  exit 0
fi

[ -d "$here/lv2" ] && [ -x "$here/vexa-host/vexa-host" ] || { echo "install.sh: run it from the unpacked archive" >&2; exit 1; }

# The folders this install makes (the destinations and any missing parents), and the
# bundles' own folders: uninstall removes them again once they are empty.
folders=$(mktemp)
files=$(mktemp)
trap 'rm -f "$folders" "$files"' EXIT
for dir in "$lv2" "$vst3" "$clap" "$lib" "$bin" "$man"; do
  while [ ! -e "$dir" ]; do
    echo "folder $dir" >>"$folders"
    dir=$(dirname "$dir")
  done
done
mkdir -p "$lv2" "$vst3" "$clap" "$lib" "$bin" "$man"

# copy SOURCE-FOLDER DESTINATION: every bundle in it, files 644, folders 755.
copy() {
  for bundle in "$1"/*; do
    name=$(basename "$bundle")
    (cd "$1" && find "$name" -type d) | while IFS= read -r dir; do
      [ -d "$2/$dir" ] || { mkdir -p "$2/$dir"; echo "folder $2/$dir" >>"$folders"; }
    done
    (cd "$1" && find "$name" -type f) | while IFS= read -r file; do
      install -m 644 "$1/$file" "$2/$file"
      echo "file $2/$file" >>"$files"
    done
  done
}
copy "$here/lv2" "$lv2"
copy "$here/vst3" "$vst3"
copy "$here/clap" "$clap"
install -m 755 "$here/vexa-host/vexa-host" "$lib/vexa-host"
install -m 644 "$here/vexa-host/VexaLPFilter2.so" "$lib/VexaLPFilter2.so"
install -m 644 "$here/vexa-host.1" "$man/vexa-host.1"
# vexa-host finds the module beside its own file: bin/ gets a link to it.
# (bin/ and the private folder are siblings in either layout: .local/bin and .local/lib, bin and lib.)
ln -sfn ../lib/vexa-lp-filter-2/vexa-host "$bin/vexa-host"
printf 'file %s\n' "$lib/vexa-host" "$lib/VexaLPFilter2.so" "$man/vexa-host.1" "$bin/vexa-host" >>"$files"

# Kept with what an earlier install from here recorded (a second install over the first).
[ ! -f "$record" ] || cat "$record" >>"$files"
[ ! -f "$record.folders" ] || cat "$record.folders" >>"$folders"
sort -u "$files" >"$record"
sort -u "$folders" >"$record.folders"
echo "Vexa LP Filter 2 $(cat "$here/VERSION") installed:"
echo "  LV2   $lv2"
echo "  VST3  $vst3"
echo "  CLAP  $clap"
echo "  vexa-host  $bin/vexa-host"
case ":$PATH:" in *":${bin#$destdir}:"*) ;; *) [ -n "$destdir" ] || echo "($bin is not on your PATH)";; esac
echo "Uninstall with: $0 --uninstall${prefix:+ --prefix $prefix}"
