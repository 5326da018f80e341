#!/usr/bin/env bash
# The release files in dist/ (`make dist`) and `make install`, each installed as a user installs it,
# in a throw-away place, then run from where it went; then removed, and nothing of ours is left.
#
#   scripts/dist-test.sh [deb] [make-install] [windows-installer] [tarball]   (all four when none is named)
#
#   deb                the .deb installed by dpkg into a throw-away root and database: its files are
#                      those `dpkg-deb -c` lists; lv2ls, lv2apply and our CLAP and VST3 hosts run the
#                      plug-ins from its /usr/lib folders, vexa-host --version names the package's version;
#                      dpkg -r leaves nothing
#   make-install       `make install` with DESTDIR and a home of its own, the same runs, `make uninstall`:
#                      a file planted in the plug-in folders stays, nothing else is left
#   windows-installer  the installer run silently (/S) under Wine in a fresh prefix: our win64 VST3 and
#                      CLAP hosts load the plug-ins from Common Files, Add/Remove Programs lists it;
#                      its uninstaller (/S) removes them and its registry entry, a planted bundle stays
#   tarball            the archive's install.sh into a temporary home, the same runs, install.sh --uninstall
#
# Needs the builds (`make all`) and dist/. One line per check, ok or FAILED; exit status 1 on a failure.
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(deb make-install windows-installer tarball)

name=vexa-lp-filter-2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
wav_tool=$repo/build/linux/plugin_wav_tool
clap_host=$repo/build/linux/clap_host_tests
vst3_host=$repo/build/linux/vst3_host_tests
for needed in dist/${name}_${version}_amd64.deb "$wav_tool" "$clap_host" "$vst3_host"; do
  [ -e "$needed" ] || { echo "dist-test: $needed is missing: run \`make dist\` (and \`make all\`) first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$repo/tests/common/checks.sh"

# The host checks of the installed plug-ins that need no display; quick ones.
clap_checks='ClapDescription.*:ClapProcessing.ConstantParametersMatchTheModuleAtAnyBlockSizes:ClapStereo.*'
vst3_checks='Vst3Description.*:Vst3Processing.*:Vst3Stereo.*'

"$wav_tool" stimulus "$work/in.wav" 48013 48000 >/dev/null || exit 1

# runs LV2 VST3 CLAP VEXA_HOST: what a user runs once installed. lv2ls finds the three LV2 plug-ins in
# LV2, lv2apply's output is sample for sample that of the installed vexa-host (which finds its module
# through the link in bin/), which names the project's version; our hosts run the CLAP and VST3 files.
runs() {
  local lv2=$1 vst3=$2 clap=$3 vexa_host=$4 listed
  listed=$(LV2_PATH=$lv2 lv2ls | grep '^urn:vexa:' | tr '\n' ' ')
  [ "$listed" = "urn:vexa:lp-filter-2 urn:vexa:lp-filter-2-cv urn:vexa:lp-filter-2-stereo " ] ||
    { echo "lv2ls in $lv2: '$listed'"; return 1; }
  LV2_PATH=$lv2 lv2apply -i "$work/in.wav" -o "$work/apply.wav" -c poles 18 -c type 1 -c pitch 6.5 \
    -c resonance 7.25 -c zing 20 urn:vexa:lp-filter-2 || return 1
  "$vexa_host" render "$work/in.wav" -o "$work/render.wav" --block-size 1 --poles 4:4 --type HP --pitch 6.5 \
    --resonance 7.25 --zing 20 --force >/dev/null || return 1
  "$wav_tool" compare "$work/render.wav" "$work/apply.wav" || return 1
  [ "$("$vexa_host" --version)" = "vexa-host $version" ] || { echo "vexa-host --version: $("$vexa_host" --version)"; return 1; }
  "$clap_host" --plugin="$clap/VexaLPFilter2.clap" --stereo-plugin="$clap/VexaLPFilter2Stereo.clap" \
    --states="$repo/tests/plugins/states" --gtest_filter="$clap_checks" --gtest_brief=1 || return 1
  "$vst3_host" --plugin="$vst3/VexaLPFilter2.vst3" --stereo-plugin="$vst3/VexaLPFilter2Stereo.vst3" \
    --states="$repo/tests/plugins/states" --gtest_filter="$vst3_checks" --gtest_brief=1
}

# only_left ROOT PATH...: under ROOT there is nothing but these paths and their folders.
only_left() {
  local root=$1 path expected
  shift
  expected=$(for path in "$@"; do
               while [ "$path" != "$root" ]; do echo "$path"; path=$(dirname "$path"); done
             done | sort -u)
  local actual
  actual=$(find "$root" -mindepth 1 | sort)
  [ "$actual" = "$expected" ] || { echo "left under $root:"; diff <(echo "$expected") <(echo "$actual"); return 1; }
}

# The files a user's install holds, in the given folders.
installed_files() {
  local lv2=$1 vst3=$2 clap=$3 bin=$4 bundle
  for bundle in vexa-lp-filter-2 vexa-lp-filter-2-cv vexa-lp-filter-2-stereo; do
    [ -f "$lv2/$bundle.lv2/manifest.ttl" ] && [ -f "$lv2/$bundle.lv2/${bundle}_dsp.so" ] || { echo "no $lv2/$bundle.lv2"; return 1; }
  done
  for bundle in VexaLPFilter2 VexaLPFilter2Stereo; do
    [ -f "$vst3/$bundle.vst3/Contents/x86_64-linux/$bundle.so" ] || { echo "no $vst3/$bundle.vst3"; return 1; }
    [ -f "$clap/$bundle.clap" ] || { echo "no $clap/$bundle.clap"; return 1; }
  done
  [ -L "$bin/vexa-host" ] && [ -x "$bin/vexa-host" ] || { echo "no link $bin/vexa-host"; return 1; }
}

for what in "${checks[@]}"; do
  case "$what" in
  deb)
    deb=$repo/dist/${name}_${version}_amd64.deb
    root=$work/deb-root
    admin=$work/deb-admin
    mkdir -p "$root" "$admin/info" "$admin/updates"
    touch "$admin/status" "$admin/available"
    dpkg_here() { dpkg --root="$root" --admindir="$admin" --log=/dev/null --force-not-root "$@"; }
    package_fields() {
      [ "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = "Package: $name Version: $version Architecture: amd64 " ] &&
        dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>= ' && [ "$(dpkg-deb -f "$deb" Section)" = sound ]
    }
    check "deb: $name $version amd64, its library dependencies computed" package_fields
    # Every path the package lists is what dpkg installed, and the other way round.
    deb_installed() {
      dpkg_here --force-depends --install "$deb" || return 1
      local listed actual
      listed=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' | grep -v '^/\?$' | sort)
      actual=$(cd "$root" && find . -mindepth 1 | sed 's|^\.||' | sort)
      diff <(echo "$listed") <(echo "$actual") || return 1
      for file in /usr/lib/vexa-lp-filter-2/VexaLPFilter2.so /usr/share/man/man1/vexa-host.1.gz /usr/share/doc/$name/copyright; do
        [ -f "$root$file" ] || { echo "no $file"; return 1; }
      done
      installed_files "$root/usr/lib/lv2" "$root/usr/lib/vst3" "$root/usr/lib/clap" "$root/usr/bin"
    }
    check "deb: dpkg installs it into a throw-away root, exactly the files dpkg-deb -c lists" deb_installed
    check "deb: lv2ls, lv2apply, our CLAP and VST3 hosts and vexa-host --version from its /usr/lib and /usr/bin" \
      runs "$root/usr/lib/lv2" "$root/usr/lib/vst3" "$root/usr/lib/clap" "$root/usr/bin/vexa-host"
    deb_removed() {
      dpkg_here --remove "$name" && only_left "$root"
    }
    check "deb: dpkg -r leaves nothing" deb_removed
    ;;

  make-install)
    home=$work/home
    dest=$work/destdir
    # make install and uninstall write the build's install manifest: a user's own is put back after.
    saved=$work/saved-manifest
    mkdir -p "$saved"
    cp -p build/linux/install_manifest.txt build/linux/install_folders.cmake "$saved/" 2>/dev/null
    planted=("$dest$home/.lv2/my-own.lv2/manifest.ttl" "$dest$home/.local/bin/my-tool")
    mkdir -p "$(dirname "${planted[0]}")" "$(dirname "${planted[1]}")"
    for file in "${planted[@]}"; do echo mine >"$file"; done
    make_install() {
      HOME=$home make --no-print-directory install DESTDIR="$dest" >"$work/make-install.log" 2>&1 ||
        { tail -n 30 "$work/make-install.log"; return 1; }
      installed_files "$dest$home/.lv2" "$dest$home/.vst3" "$dest$home/.clap" "$dest$home/.local/bin" &&
        [ -f "$dest$home/.local/share/man/man1/vexa-host.1" ]
    }
    check "make install DESTDIR=...: LV2, VST3, CLAP in ~/.lv2, ~/.vst3, ~/.clap, vexa-host in ~/.local/bin" make_install
    check "make install: lv2ls, lv2apply, our CLAP and VST3 hosts and vexa-host --version from the installed files" \
      runs "$dest$home/.lv2" "$dest$home/.vst3" "$dest$home/.clap" "$dest$home/.local/bin/vexa-host"
    make_uninstall() {
      make --no-print-directory uninstall >"$work/make-uninstall.log" 2>&1 || { tail -n 30 "$work/make-uninstall.log"; return 1; }
      only_left "$dest" "${planted[@]}" && [ "$(cat "${planted[0]}")" = mine ]
    }
    check "make uninstall: nothing of ours left, the planted files and their folders kept" make_uninstall
    rm -f build/linux/install_manifest.txt build/linux/install_folders.cmake
    cp -p "$saved"/* build/linux/ 2>/dev/null
    ;;

  windows-installer)
    setup=$repo/dist/$name-$version-windows-x64-setup.exe
    export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    wine=/usr/lib/wine/wine64
    common="$WINEPREFIX/drive_c/Program Files/Common Files"
    key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VexaLPFilter2'
    win_install() {
      "$wine" wineboot --init && /usr/lib/wine/wineserver -w || return 1
      # Someone else's plug-in, already there.
      mkdir -p "$common/VST3/Other.vst3" && echo theirs >"$common/VST3/Other.vst3/plugin.txt"
      "$wine" "$setup" /S && /usr/lib/wine/wineserver -w || return 1
      local file
      for file in VST3/VexaLPFilter2.vst3/Contents/x86_64-win/VexaLPFilter2.vst3 \
                  VST3/VexaLPFilter2Stereo.vst3/Contents/x86_64-win/VexaLPFilter2Stereo.vst3 \
                  CLAP/VexaLPFilter2.clap CLAP/VexaLPFilter2Stereo.clap; do
        [ -f "$common/$file" ] || { echo "not installed: Common Files/$file"; return 1; }
      done
      "$wine" reg query "$key" /v DisplayVersion | tr -d '\r' | grep -q "REG_SZ *$version\$" ||
        { echo "no DisplayVersion $version in $key"; "$wine" reg query "$key"; return 1; }
    }
    check "windows installer: /S under Wine into a fresh prefix, Common Files\\VST3 and \\CLAP, Add/Remove Programs" win_install
    win_hosts() {
      "$wine" build/win64/clap_host_tests.exe "--plugin=C:/Program Files/Common Files/CLAP/VexaLPFilter2.clap" \
        "--stereo-plugin=C:/Program Files/Common Files/CLAP/VexaLPFilter2Stereo.clap" --states=tests/plugins/states \
        --gtest_filter="$clap_checks" \
        --gtest_brief=1 &&
      "$wine" build/win64/vst3_host_tests.exe "--plugin=C:/Program Files/Common Files/VST3/VexaLPFilter2.vst3" \
        "--stereo-plugin=C:/Program Files/Common Files/VST3/VexaLPFilter2Stereo.vst3" --states=tests/plugins/states \
        --gtest_filter="$vst3_checks" \
        --gtest_brief=1
    }
    check "windows installer: our win64 CLAP and VST3 hosts load the plug-ins from Common Files" win_hosts
    win_uninstall() {
      "$wine" "C:/Program Files/Vexa LP Filter 2/Uninstall.exe" /S && /usr/lib/wine/wineserver -w || return 1
      ! "$wine" reg query "$key" >/dev/null 2>&1 || { echo "$key is still there"; return 1; }
      only_left "$common/VST3" "$common/VST3/Other.vst3/plugin.txt" || return 1
      [ ! -e "$common/CLAP" ] && [ ! -e "$WINEPREFIX/drive_c/Program Files/Vexa LP Filter 2" ] ||
        { echo "left: $(ls -d "$common/CLAP" "$WINEPREFIX/drive_c/Program Files/Vexa LP Filter 2" 2>/dev/null)"; return 1; }
    }
    check "windows installer: the uninstaller (/S) removes the plug-ins and its registry entry, keeps another's" win_uninstall
    /usr/lib/wine/wineserver -k 2>/dev/null
    unset WINEPREFIX
    ;;

  tarball)
    archive=$repo/dist/$name-$version-linux-x86_64.tar.gz
    home=$work/tar-home
    planted=$home/.clap/my-own.clap
    mkdir -p "$home/.clap" && echo mine >"$planted"
    tar -C "$work" -xzf "$archive"
    tar_install() {
      HOME=$home "$work/$name-$version-linux-x86_64/install.sh" &&
        installed_files "$home/.lv2" "$home/.vst3" "$home/.clap" "$home/.local/bin"
    }
    check "tarball: install.sh into a temporary home: ~/.lv2, ~/.vst3, ~/.clap, ~/.local/bin" tar_install
    check "tarball: lv2ls, lv2apply, our CLAP and VST3 hosts and vexa-host --version from the installed files" \
      runs "$home/.lv2" "$home/.vst3" "$home/.clap" "$home/.local/bin/vexa-host"
    tar_uninstall() {
      HOME=$home "$work/$name-$version-linux-x86_64/install.sh" --uninstall && only_left "$home" "$planted"
    }
    check "tarball: install.sh --uninstall: nothing of ours left, a planted file kept" tar_uninstall
    ;;

  *) echo "dist-test: unknown check '$what' (deb, make-install, windows-installer, tarball)" >&2; exit 2 ;;
  esac
done

echo "checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
