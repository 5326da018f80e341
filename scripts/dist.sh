#!/usr/bin/env bash
# Writes dist/, the release files of the project's version, from the linux, win32 and win64 builds
# (`make dist` builds them first):
#
#   vexa-lp-filter-2_VERSION_amd64.deb              Debian package: the Linux plug-ins (LV2, VST3, CLAP),
#                                                   vexa-host and its manual page, under /usr
#   vexa-lp-filter-2-VERSION-linux-x86_64.tar.gz    the same files with install.sh, for any Linux
#   vexa-lp-filter-2-VERSION-windows-x64-setup.exe  the 64-bit VST3 and CLAP plug-ins (NSIS installer)
#   vexa-lp-filter-2-VERSION-modular-host.zip       the module for the modular host, 32-bit and 64-bit,
#                                                   with a read-me
#   SHA256SUMS
#
# The files are made in build/dist/ and replace dist/ only when all of them are complete; lintian's
# report on the package (every tag, the informational and pedantic ones too) is kept in
# build/dist/lintian.txt, and an error in it fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022

name=vexa-lp-filter-2
# The package's maintainer (a placeholder address until the team has one).
maintainer="Vexa audio team <audio@vexa.example.org>"
linux=build/linux
plugins_linux=build/plugins/linux
plugins_win64=build/plugins/win64
for needed in "$linux/vexa-host" "$linux/VexaLPFilter2.so" "$linux/cmake_install.cmake" build/win32/VexaLPFilter2.sep \
              build/win64/VexaLPFilter2.sep "$plugins_linux/lv2" "$plugins_win64/vst3" "$plugins_win64/clap"; do
  [ -e "$needed" ] || { echo "dist: $needed is missing: build with \`make all\` first (\`make dist\` does)" >&2; exit 1; }
done
# The one version: the project's (CMakeLists.txt), as the build was configured with it.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux/CMakeCache.txt")
[ -n "$version" ] || { echo "dist: no project version in $linux/CMakeCache.txt" >&2; exit 1; }
# The root LICENSE where there is one; the package's copyright text otherwise.
license=packaging/copyright
[ ! -f LICENSE ] || license=LICENSE
# Dates in the files are the last commit's, so that the same sources give the same files.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}

work=build/dist
rm -rf "$work"
mkdir -p "$work/out"
out=$work/out
say() { echo "dist: $*"; }

# --- The Linux files, installed under /usr by the install rules, stripped as Debian ships them.
stage=$work/deb
DESTDIR=$PWD/$stage cmake -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_COMPONENT=Unspecified \
  -P "$linux/cmake_install.cmake" >"$work/install.log"
rm -f "$linux/install_manifest_Unspecified.txt"
mapfile -t elves < <(find "$PWD/$stage/usr" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print | sort)
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${elves[@]}"
doc=$stage/usr/share/doc/$name
mkdir -p "$doc"
install -m 644 packaging/copyright "$doc/copyright"
gzip -9n "$stage/usr/share/man/man1/vexa-host.1"
changelog_date=$(date -u -R -d "@$SOURCE_DATE_EPOCH")
printf '%s (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- %s  %s\n' "$name" "$version" "$version" \
  "$maintainer" "$changelog_date" | gzip -9n >"$doc/changelog.gz"
chmod 644 "$doc/changelog.gz"

# --- Debian package: library dependencies by dpkg-shlibdeps (which reads a debian/control of its own).
say "Debian package"
mkdir -p "$work/shlibs/debian" "$stage/DEBIAN"
printf 'Source: %s\n\nPackage: %s\nArchitecture: amd64\n' "$name" "$name" >"$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "${elves[@]}" 2>"$PWD/shlibdeps.log" | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { cat "$work/shlibs/shlibdeps.log" >&2; echo "dist: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
cat >"$stage/DEBIAN/control" <<EOF
Package: $name
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Section: sound
Priority: optional
Description: resonant ladder filter as LV2, VST3 and CLAP plug-ins
 Vexa LP Filter 2 is a Moog-style ladder filter after the Stilson/Smith
 model with an extra resonance pole: thirty pole configurations, low-pass
 and high-pass output, 1 V/octave pitch, resonance and "Zing" (how strongly
 the resonance follows the cutoff).
 .
 This package holds the LV2 plug-ins (mono, stereo, and with CV inputs),
 the VST3 and CLAP plug-ins (mono and stereo) and vexa-host, a
 command-line host that renders audio files through the filter and
 measures its responses.
EOF
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
deb=${name}_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$out/$deb" >/dev/null

say "lintian"
lintian_rc=0
lintian --display-info --display-experimental --pedantic --tag-display-limit 0 "$out/$deb" >"$work/lintian.txt" 2>&1 || lintian_rc=$?
# One line per tag, with how often it is given (the whole report is in lintian.txt).
echo "  errors: $(grep -c '^E: ' "$work/lintian.txt"), warnings: $(grep -c '^W: ' "$work/lintian.txt"); the tags:"
awk -F': ' '/^[A-Z]: / { split($3, words, " "); print $1 ": " words[1] }' "$work/lintian.txt" | sort | uniq -c |
  sed 's/^ */    /'
if grep -q '^E: ' "$work/lintian.txt" || [ "$lintian_rc" -ne 0 ]; then
  echo "dist: lintian reports errors on $deb (exit status $lintian_rc)" >&2
  exit 1
fi

# --- Linux archive: the same files, laid out for install.sh.
say "Linux archive"
folder=$name-$version-linux-x86_64
tree=$work/$folder
mkdir -p "$tree/vexa-host"
cp -a "$stage/usr/lib/lv2" "$stage/usr/lib/vst3" "$stage/usr/lib/clap" "$tree/"
cp -a "$stage/usr/lib/$name/vexa-host" "$stage/usr/lib/$name/VexaLPFilter2.so" "$tree/vexa-host/"
gunzip -c "$stage/usr/share/man/man1/vexa-host.1.gz" >"$tree/vexa-host.1"
install -m 755 packaging/install.sh "$tree/install.sh"
install -m 644 "$license" "$tree/LICENSE"
echo "$version" >"$tree/VERSION"
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" -C "$work" -I 'gzip -9n' -cf "$out/$folder.tar.gz" "$folder"

# --- Windows installer of the 64-bit plug-ins.
say "Windows installer"
setup=$name-$version-windows-x64-setup.exe
makensis -V2 -DVERSION="$version" -DPLUGINS="$PWD/$plugins_win64" -DLICENSE="$PWD/$license" \
  -DSIZE_KB="$(du -sk "$plugins_win64" | cut -f1)" -DOUTFILE="$PWD/$out/$setup" packaging/windows-installer.nsi

# --- The modular host's zip: each module in a folder of its own, and a read-me for Windows (CRLF).
say "modular host zip"
folder="Vexa LP Filter 2 $version"
host=$work/host/$folder
mkdir -p "$host/32-bit" "$host/64-bit"
cp build/win32/VexaLPFilter2.sep "$host/32-bit/"
cp build/win64/VexaLPFilter2.sep "$host/64-bit/"
{
  title="Vexa LP Filter 2, version $version"
  printf '%s\n%s\n' "$title" "${title//?/=}"
  cat <<EOF

A resonant ladder filter module for the modular synthesizer host: a
Moog-style ladder after the Stilson/Smith model with an extra resonance
pole. Thirty pole configurations, low-pass and high-pass output,
1 V/octave pitch, resonance, "Zing" (how strongly the resonance follows the
cutoff), gradual saturation, and silence with sleep while no audio streams in.

Where the file goes
-------------------

Copy VexaLPFilter2.sep into the host's module folder (the folder where the
host looks for .sep modules) and restart the host; the module shows up as
"Vexa LP Filter 2".

  32-bit\\VexaLPFilter2.sep   for the 32-bit host
  64-bit\\VexaLPFilter2.sep   for a 64-bit host

Both are the same module; take the one that matches the host, not Windows.

The pins
--------

As the module describes them (defaults in volts; on an audio pin, 1.0 is 10 V):

EOF
  # The pin table and the list pins' entries, from the module's own pin descriptions.
  "$linux/vexa-host" info "$linux/VexaLPFilter2.so" | sed -n '/^Pins:/,$p' | sed '1d'
  cat <<EOF

Pitch is the cutoff at 1 V/octave, 440 Hz nominal at 5 V; Resonance runs from
0 to 10 V; Zing sets how strongly the resonance follows the cutoff; Poles
chooses the output pole and the feedback pole ("a:b"; f = light, only the
first pole saturates); Type chooses low-pass or high-pass output.

The same filter as LV2, VST3 and CLAP plug-ins for other hosts, and its
Windows installer, come as separate downloads.
EOF
} | sed 's/$/\r/' >"$host/README.txt"
sed 's/$/\r/' "$license" >"$host/LICENSE.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$host" "$host"/* "$host"/*/*
zip_file=$name-$version-modular-host.zip
(cd "$work/host" && TZ=UTC zip -q -X -r "$PWD/../out/$zip_file" "$folder")

# --- Checksums, then dist/ in one move.
(cd "$out" && sha256sum -- *.deb *.tar.gz *.exe *.zip >SHA256SUMS)
rm -rf dist
mv "$out" dist
say "dist/ ($version):"
(cd dist && ls -l --time-style=+ -- * | awk '{ printf "  %10d  %s\n", $5, $NF }')
