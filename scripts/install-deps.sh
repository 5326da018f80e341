#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, once.
# Safe to run again: packages already present are not touched. Further package
# names on the command line (as `make ardour-test` gives) are installed too.
set -euo pipefail

native_packages=(
  cmake g++ clang make pkg-config python3
  googletest libgtest-dev libbenchmark-dev libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  libsndfile1-dev libfftw3-dev libcli11-dev python3-matplotlib python3-numpy python3-mpmath
  qemu-user-static
  dpf-source lv2-dev sordi lilv-utils lv2file lv2proc jalv jackd2 libjack-jackd2-dev
  libgl-dev libx11-dev libxext-dev libxrandr-dev libxcursor-dev libgl1-mesa-dri xvfb x11-utils xdotool imagemagick
  "$@"
)
i386_packages=(wine wine64 wine32:i386)

missing=()
for p in "${native_packages[@]}" "${i386_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
