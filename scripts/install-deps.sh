#!/usr/bin/env bash
# Installs the Debian packages one need of the project lists, those that are missing.
#
#   scripts/install-deps.sh build|test|bench|ardour|dist|validate
#
#   build   compilers, libraries, plotting, DPF and the LV2/JACK hosts: `make`,
#           every build and `make demo` (no Wine)
#   test    build + Wine + the test tools: `make test`; without the 32-bit Wine
#           (wine32:i386) it still succeeds, says so, and leaves a note in
#           build/missing-packages/ for scripts/run-tests.sh
#   bench   build + Wine, the 32-bit one included: `make bench`
#   ardour  build + Ardour: `make ardour-test`
#   dist    build + the packaging tools: `make dist` (the .deb, lintian, the
#           Windows installer, the zip)
#   validate build + a virtual display + what the prebuilt plug-in validators
#           load (../shared/validators): `make validate`
#
# A failing package index update (a mirror in mid-sync) is only a warning: it
# is retried, then the install goes on with the index there is. The script
# fails only when a package the need requires cannot be installed, and then
# names it with apt's reason.
#
# When the missing index is a suite's one for the foreign architecture (i386),
# a multi-arch library's native version there has no i386 twin and apt cannot
# resolve wine32:i386 at all; the install is tried again with those packages
# held to the newest version both architectures see, and says which it moved.
#
# Environment: INSTALL_DEPS_UPDATE_TRIES (default 3) and
# INSTALL_DEPS_UPDATE_PAUSE (seconds between them, default 5).
set -euo pipefail

# --- The lists: a package goes into the one list of the need that first needs it.
build_packages=(
  cmake g++ clang make pkg-config python3
  googletest libgtest-dev libbenchmark-dev libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  libsndfile1-dev libfftw3-dev libcli11-dev python3-matplotlib python3-numpy python3-mpmath
  dpf-source lv2-dev sordi lilv-utils lv2file lv2proc jalv jackd2 libjack-jackd2-dev
  libgl-dev libx11-dev libxext-dev libxrandr-dev libxcursor-dev libgl1-mesa-dri liblilv-dev
)
# 64-bit Wine; qemu-user-static runs the 32-bit loader where the kernel cannot.
wine_packages=(wine wine64 qemu-user-static)
# The 32-bit loader, for the product's own build: the win32 suites and timings.
wine32_packages=(wine32:i386)
# A virtual display, for the editors: the test suites and the validators.
display_packages=(xvfb)
# Tools only the test suites use: third-party LV2 hosts and screenshots.
test_packages=(ecasound gstreamer1.0-tools gstreamer1.0-plugins-bad gstreamer1.0-plugins-good
  x11-utils xdotool imagemagick)
ardour_packages=(ardour)
# The release files: the Debian package and its check, the Windows installer, the archives.
dist_packages=(dpkg-dev lintian nsis zip unzip)
# The libraries the prebuilt validators load: pluginval, then lv2lint.
validate_packages=(libflac12 libvorbis0a libvorbisenc2 libvorbisfile3 libogg0 libpng16-16 libjpeg62-turbo zlib1g
  libasound2 libfreetype6 liblilv-0-0 libelf1 libx11-6)

# What each need requires, and what it only wants (installed when it can be,
# reported when it cannot: the suites that need it do not run).
need=${1:-}
wanted=()
case "$need" in
  build)  required=("${build_packages[@]}"); targets="\`make\`, the builds and \`make demo\`" ;;
  test)   required=("${build_packages[@]}" "${wine_packages[@]}" "${display_packages[@]}" "${test_packages[@]}"
                    "${dist_packages[@]}")
          wanted=("${wine32_packages[@]}"); targets="\`make test\`" ;;
  bench)  required=("${build_packages[@]}" "${wine_packages[@]}" "${wine32_packages[@]}"); targets="\`make bench\`" ;;
  ardour) required=("${build_packages[@]}" "${ardour_packages[@]}"); targets="\`make ardour-test\`" ;;
  dist)   required=("${build_packages[@]}" "${dist_packages[@]}"); targets="\`make dist\`" ;;
  validate) required=("${build_packages[@]}" "${display_packages[@]}" "${validate_packages[@]}")
          targets="\`make validate\`" ;;
  *) echo "usage: $0 build|test|bench|ardour|dist|validate" >&2; exit 2 ;;
esac

update_tries=${INSTALL_DEPS_UPDATE_TRIES:-3}
update_pause=${INSTALL_DEPS_UPDATE_PAUSE:-5}
# One file per wanted package that could not be installed, holding the reason.
notes="$(cd "$(dirname "$0")/.." && pwd)/build/missing-packages"

say() { echo "install-deps: $*" >&2; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
last_error() { grep '^E: ' "$1" | tail -n 1 || true; }

# Writes to $2 apt preferences that hold every package of the suites lacking
# their index for architecture $1 (a mirror in mid-sync) to its newest version
# in the other suites: a multi-arch library must have one version on both
# architectures, and the foreign side cannot see those suites' updates.
# Fails when no suite lacks that index. Sets lonely_suites.
pin_to_shared_versions() {
  local foreign=$1 out=$2 native site rel comp arch file
  native=$(dpkg --print-architecture)
  declare -A index=()
  while read -r site rel comp arch file; do
    index["$site $rel/$comp $arch"]=$file
  done < <(apt-get indextargets --format '$(SITE) $(RELEASE) $(COMPONENT) $(ARCHITECTURE) $(FILENAME)' \
             'Created-By: Packages' 2>/dev/null)
  lonely_suites=(); local lonely_files=() key
  for key in "${!index[@]}"; do
    [ "${key##* }" = "$native" ] && [ -z "${index["${key% *} $foreign"]:-}" ] || continue
    lonely_suites+=("${key% *}"); lonely_files+=("${index[$key]}")
  done
  [ ${#lonely_files[@]} -gt 0 ] || return 1
  # madison lists each package's versions newest first, with the suite of each.
  for file in "${lonely_files[@]}"; do /usr/lib/apt/apt-helper cat-file "$file"; echo; done |
    sed -n 's/^Package: //p' | sort -u | xargs -r apt-cache madison 2>/dev/null |
    awk -F'|' -v lonely="$(printf '%s\n' "${lonely_suites[@]}")" -v foreign="$foreign" '
      BEGIN { n = split(lonely, l, "\n"); for (i = 1; i <= n; i++) isLonely[l[i]] = 1 }
      { for (i = 1; i <= 3; i++) gsub(/^ +| +$/, "", $i)
        split($3, where, " "); here = (where[1] " " where[2]) in isLonely
        if (!($1 in newestIsLonely)) newestIsLonely[$1] = here
        else if (newestIsLonely[$1] && !here && !($1 in shared)) shared[$1] = $2 }
      END { for (p in shared)
              printf "Package: %s %s:%s\nPin: version %s\nPin-Priority: 1001\n\n", p, p, foreign, shared[p] }' > "$out"
  [ -s "$out" ]
}

missing=()
for p in "${required[@]}" "${wanted[@]}"; do
  installed "$p" || missing+=("$p")
done
for p in "${wanted[@]}"; do
  installed "$p" && rm -f "$notes/$p"
done
[ ${#missing[@]} -eq 0 ] && exit 0

log=$(mktemp)
trap 'rm -f "$log"' EXIT
declare -A reason=()
update_error=

if [ "$(id -u)" -ne 0 ]; then
  for p in "${missing[@]}"; do reason[$p]="not installed, and installing needs root (run this as root)"; done
else
  export DEBIAN_FRONTEND=noninteractive
  say "installing for $targets: ${missing[*]}"
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  for try in $(seq "$update_tries"); do
    rc=0
    apt-get update -qq >"$log" 2>&1 || rc=$?
    if [ "$rc" -eq 0 ]; then update_error=; break; fi
    update_error=$(grep '^E: ' "$log" | head -n 1 || true)
    say "warning: package index update failed (try $try of $update_tries): ${update_error:-exit status $rc}"
    if [ "$try" -lt "$update_tries" ]; then sleep "$update_pause"; fi
  done
  [ -z "$update_error" ] || say "going on with the package index as it is"

  apt_install() { apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 "$@" 2>&1 | tee "$log"; }
  # All at once; when that fails, one by one, to learn which cannot be installed.
  if ! apt_install "${missing[@]}"; then
    if [ ${#missing[@]} -eq 1 ]; then
      reason[${missing[0]}]=$(last_error "$log")
    else
      say "that failed; trying the packages one by one"
      for p in "${missing[@]}"; do
        installed "$p" || apt_install "$p" >/dev/null || reason[$p]=$(last_error "$log")
      done
    fi
  fi
  # A foreign-architecture package that failed: try again with the native
  # side held to versions the foreign side can match.
  for p in "${missing[@]}"; do
    [[ "$p" == *:* ]] && [ -n "${reason[$p]:-}" ] || continue
    foreign=${p##*:}
    prefs=$(mktemp -d)
    if pin_to_shared_versions "$foreign" "$prefs/shared-versions.pref"; then
      pinned=$(grep -c '^Package:' "$prefs/shared-versions.pref")
      say "$p: the index for $foreign of ${lonely_suites[*]} is missing; trying again with $pinned packages held to the versions both architectures see"
      cp /etc/apt/preferences.d/* "$prefs/" 2>/dev/null || true
      pinned_install() { apt_install --allow-downgrades -o Dir::Etc::PreferencesParts="$prefs" "$@"; }
      if ! pinned_install -s "$p" >/dev/null; then
        reason[$p]=$(last_error "$log")
      elif grep -q '^Remv ' "$log"; then
        # Never at the cost of what is installed.
        reason[$p]="held to the versions both architectures see, apt would remove $(sed -n 's/^Remv \([^ ]*\) .*/\1/p' "$log" | paste -sd' ')"
      else
        # Those already installed: "Inst NAME [OLD VERSION] (NEW VERSION ...)".
        moved=$(sed -n 's/^Inst \([^ ]*\) \[.*/\1/p' "$log" | grep -v ":$foreign\$" | paste -sd' ')
        if pinned_install "$p" >/dev/null; then
          unset "reason[$p]"
          say "warning: $p installed; for it apt set these native packages to the versions both architectures see, without the newer ones of ${lonely_suites[*]}"
          say "(\`apt-get upgrade\` brings them back once the mirror has synced):"
          fold -s -w 96 <<<"$moved" | sed 's/^/install-deps:   /' >&2
        else
          reason[$p]=$(last_error "$log")
        fi
      fi
    fi
    rm -rf "$prefs"
  done
  for p in "${missing[@]}"; do
    installed "$p" || [ -n "${reason[$p]:-}" ] || reason[$p]="apt-get did not install it"
  done
fi

failed=()
for p in "${required[@]}"; do
  [ -n "${reason[$p]:-}" ] && failed+=("$p")
done
mkdir -p "$notes"
for p in "${wanted[@]}"; do
  if [ -n "${reason[$p]:-}" ]; then
    echo "${reason[$p]}" > "$notes/$p"
    say "warning: $p could not be installed: ${reason[$p]}"
  else
    rm -f "$notes/$p"
  fi
done

advice() {
  [ -z "$update_error" ] || say "  (the package index update failed too: $update_error)"
  if [ "$(id -u)" -ne 0 ]; then
    say "What you can do: run this as root (sudo), or install the packages above first;"
  else
    say "What you can do: wait for the Debian mirror to finish syncing and run this again;"
  fi
  say "meanwhile run the targets that do not need $1 (\`make demo\` and the builds need no Wine, \`make test\` no 32-bit Wine)."
}

if [ ${#failed[@]} -ne 0 ]; then
  say "cannot install what $targets needs:"
  for p in "${failed[@]}"; do say "  $p: ${reason[$p]}"; done
  if [ ${#failed[@]} -eq 1 ]; then advice it; else advice them; fi
  exit 1
fi
for p in "${wanted[@]}"; do
  if [ -n "${reason[$p]:-}" ]; then
    say "  Without $p the suites that need it cannot run: $targets runs the others and reports those as not run."
    advice "it"
    break
  fi
done
exit 0
