#!/usr/bin/env bash
# Prepares this machine to run 32-bit and 64-bit Windows console programs
# under Wine (Debian 12 packages wine, wine64, wine32:i386, qemu-user-static;
# see scripts/install-deps.sh).
#
#  1. Makes sure 32-bit i386 ELF programs (the 32-bit Wine loader) can start.
#     If the kernel runs them natively, they are left to it: an emulator entry
#     in binfmt_misc (qemu-user-static registers one) would take them over
#     even then, about 30 times slower, so it is removed (needs root).
#     Otherwise binfmt_misc is mounted on /proc/sys/fs/binfmt_misc and
#     /usr/bin/qemu-i386-static is registered for i386 ELF executables with
#     flag F (needs root).
#  2. Creates a 64-bit (WoW64) Wine prefix in $WINEPREFIX (default
#     $HOME/.wine) with the 64-bit loader, unless a complete one exists. A
#     prefix made before the 32-bit loader was installed lacks its 32-bit
#     half for good: it is moved aside (kept) and a new one made.
#  3. Checks that a 32-bit and a 64-bit Windows program run in the prefix,
#     and that a running 32-bit program's process image is Wine's loader, not
#     the emulator, wherever the kernel runs 32-bit programs.
#
# Without a working 32-bit Wine (wine32:i386 not installed, or its loader
# does not start) the 64-bit part is still set up and checked. The last line
# printed says what is ready. Exit status: 0 both, 3 64-bit programs only,
# 1 neither.
#
# Safe to run again and again; when everything is set up it takes about a
# second.
#
# Environment:
#   WINEPREFIX        prefix to create/check (default: $HOME/.wine)
#   WINEDEBUG         default -all
#   WINEDLLOVERRIDES  default "mscoree,mshtml=" (no Mono/Gecko install dialogs)
#   QEMU_RESERVED_VA  default 0xffff0000: the address space qemu-i386 reserves
#                     for a 32-bit program (see below); whoever runs 32-bit
#                     Windows programs under the emulator needs it too (the
#                     test suites get it from tests/CMakeLists.txt)
#   SETUP_WINE_I386   auto (default): use native 32-bit execution if it works,
#                     otherwise register qemu-i386-static;
#                     qemu: always make sure qemu-i386-static is registered
#                     (even if the kernel could run 32-bit programs natively).
set -euo pipefail

WINE32=/usr/lib/wine/wine
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
QEMU_I386=/usr/bin/qemu-i386-static
BINFMT_DIR=/proc/sys/fs/binfmt_misc
BINFMT_NAME=qemu-i386
# Standard qemu-i386 magic/mask (qemu's scripts/qemu-binfmt-conf.sh): ELF,
# 32-bit, little endian, e_type EXEC or DYN, e_machine EM_386.
I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
I386_MAGIC_HEX=7f454c4601010100000000000000000002000300
WINE_INF=/usr/share/wine/wine.inf
MODE=${SETUP_WINE_I386:-auto}

export WINEPREFIX="${WINEPREFIX:-${HOME:?HOME is not set}/.wine}"
WINEPREFIX="${WINEPREFIX%/}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Under qemu-i386 a 32-bit program's memory lies wherever the emulator's own
# allocations leave room, and Wine's 32-bit loader then cannot map its shared
# user data page at the fixed address Windows programs read it from ("failed
# to map the shared user data"), so wineboot never makes the prefix's 32-bit
# half. Reserving the whole 32-bit space up front gives Wine its addresses.
# (Ignored where the kernel runs 32-bit programs itself.)
export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0xffff0000}"
# No X server here: keep Wine from trying to open windows or dialogs.
unset DISPLAY WAYLAND_DISPLAY

log() { echo "setup-wine: $*" >&2; }
die() { log "error: $*"; exit 1; }

case "$MODE" in auto|qemu) ;; *) die "SETUP_WINE_I386 must be auto or qemu, not '$MODE'";; esac
for f in "$WINE64" "$WINESERVER"; do
  [ -x "$f" ] || die "$f missing; run scripts/install-deps.sh test as root first"
done
# Why 32-bit Windows programs cannot run here; empty while they can.
i386_problem=
[ -x "$WINE32" ] || i386_problem="the 32-bit loader $WINE32 is not installed (package wine32:i386)"

# One setup at a time per prefix (concurrent wineboots would trample each other).
# Wine commands below get "9>&-" so that a lingering wineserver does not keep
# holding the lock after this script has finished.
lock="/tmp/setup-wine.$(id -u).$(printf '%s' "$WINEPREFIX" | md5sum | cut -c1-12).lock"
exec 9>"$lock"
flock -w 1800 9 || die "timed out waiting for lock $lock"

is_root() { [ "$(id -u)" -eq 0 ]; }

# --- 1. 32-bit ELF execution -------------------------------------------------

i386_elf_starts() {
  local out
  out=$(timeout 120 "$WINE32" --version 2>/dev/null 9>&-) || return 1
  [[ $out == wine-* ]]
}

binfmt_mounted() { [ -e "$BINFMT_DIR/register" ]; }

mount_binfmt() {
  binfmt_mounted && return 0
  is_root || return 1
  grep -qw binfmt_misc /proc/filesystems || modprobe binfmt_misc 2>/dev/null || true
  mount -t binfmt_misc binfmt_misc "$BINFMT_DIR" || return 1
  log "mounted binfmt_misc on $BINFMT_DIR"
}

# Prints the names of registered entries that match i386 ELF files.
i386_entries() {
  local e
  binfmt_mounted || return 0
  for e in "$BINFMT_DIR"/*; do
    case "${e##*/}" in register|status) continue;; esac
    [ -f "$e" ] || continue
    grep -q "^magic $I386_MAGIC_HEX\$" "$e" 2>/dev/null && echo "${e##*/}"
  done
  return 0
}

# True if an enabled i386 entry with an existing interpreter is registered.
working_i386_entry() {
  local n interp
  [ "$(cat "$BINFMT_DIR/status" 2>/dev/null)" = enabled ] || return 1
  for n in $(i386_entries); do
    [ "$(head -n1 "$BINFMT_DIR/$n")" = enabled ] || continue
    interp=$(sed -n 's/^interpreter //p' "$BINFMT_DIR/$n")
    [ -x "$interp" ] && return 0
  done
  return 1
}

register_qemu_i386() {
  local n
  is_root || die "registering $QEMU_I386 with binfmt_misc needs root"
  [ -x "$QEMU_I386" ] || die "$QEMU_I386 missing; install qemu-user-static"
  mount_binfmt || die "cannot mount binfmt_misc on $BINFMT_DIR"
  [ "$(cat "$BINFMT_DIR/status")" = enabled ] || echo 1 > "$BINFMT_DIR/status"
  # Drop i386 entries that are disabled or point at a missing interpreter.
  for n in $(i386_entries); do
    log "removing unusable binfmt entry $n"
    echo -1 > "$BINFMT_DIR/$n"
  done
  echo ":$BINFMT_NAME:M::$I386_MAGIC:$I386_MASK:$QEMU_I386:F" > "$BINFMT_DIR/register"
  log "registered $QEMU_I386 for i386 ELF executables (flag F)"
}

if is_root; then
  mount_binfmt || log "warning: could not mount binfmt_misc on $BINFMT_DIR"
fi

# Disables every enabled i386 entry and prints the names of those it disabled.
disable_i386_entries() {
  local n
  for n in $(i386_entries); do
    [ "$(head -n1 "$BINFMT_DIR/$n")" = enabled ] || continue
    echo 0 > "$BINFMT_DIR/$n"
    echo "$n"
  done
}

# An emulator entry takes every 32-bit program, even where the kernel runs
# them itself: take it away for a moment, and remove it if the loader starts
# without it.
leave_i386_to_the_kernel() {
  local disabled n
  working_i386_entry || return 0
  if ! is_root; then
    log "warning: binfmt entry $(i386_entries | tr '\n' ' ')runs 32-bit programs under an emulator; run as root to remove it"
    return 0
  fi
  disabled=$(disable_i386_entries)
  if i386_elf_starts; then
    for n in $disabled; do
      echo -1 > "$BINFMT_DIR/$n"
      log "removed binfmt entry $n: the kernel runs 32-bit programs itself"
    done
  else
    for n in $disabled; do echo 1 > "$BINFMT_DIR/$n"; done
  fi
}

# Run in a subshell: prints 0 when the kernel runs 32-bit programs itself, 1
# under an emulator; on failure the reason, with exit status 1.
prepare_i386() {
  die() { log "error: $*"; echo "$*"; exit 1; }
  local i386_how emulated=1
  [ "$MODE" = qemu ] || leave_i386_to_the_kernel
  if [ "$MODE" = qemu ]; then
    working_i386_entry || register_qemu_i386
    i386_elf_starts || die "32-bit ELF $WINE32 does not start even with $QEMU_I386 registered"
    i386_how="qemu-i386-static via binfmt_misc"
  elif i386_elf_starts; then
    if working_i386_entry; then
      i386_how="registered binfmt_misc entry ($(i386_entries | tr '\n' ' ' | sed 's/ $//'))"
    else
      i386_how="native kernel support"
      emulated=0
    fi
  else
    log "32-bit ELF programs do not start natively; using qemu-i386-static"
    register_qemu_i386
    i386_elf_starts || die "32-bit ELF $WINE32 does not start even with $QEMU_I386 registered"
    i386_how="qemu-i386-static via binfmt_misc"
  fi
  log "32-bit ELF programs start ($i386_how)"
  echo "$emulated"
}

if [ -z "$i386_problem" ]; then
  # Not as a condition, which would switch off set -e inside.
  set +e
  emulated=$(set -e; prepare_i386)
  rc=$?
  set -e
  [ "$rc" -eq 0 ] || i386_problem=${emulated:-"setting up 32-bit programs failed (exit status $rc, see above)"}
fi
[ -z "$i386_problem" ] || log "warning: 32-bit Windows programs cannot run: $i386_problem; setting up the 64-bit part only"

# --- 2. Wine prefix ----------------------------------------------------------

# True for a prefix that should have, and lacks, the half the 32-bit loader makes.
lacks_32_bit_half() {
  [ -z "$i386_problem" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]
}

prefix_complete() {
  local p=$WINEPREFIX stamp
  [ -f "$p/system.reg" ] && [ -f "$p/user.reg" ] && [ -f "$p/userdef.reg" ] || return 1
  grep -q '^#arch=win64' "$p/system.reg" || return 1
  [ -f "$p/drive_c/windows/system32/kernel32.dll" ] || return 1
  # The 32-bit half comes from the 32-bit loader; a prefix made without it is
  # completed once the loader is there.
  ! lacks_32_bit_half || return 1
  [ -L "$p/dosdevices/c:" ] || return 1
  # Wine re-runs wineboot when this stamp differs from wine.inf's mtime.
  # (written by Wine as "<seconds>\r\n")
  stamp=$(tr -d '\r\n ' < "$p/.update-timestamp" 2>/dev/null) || return 1
  [ "$stamp" = disable ] || [ ! -f "$WINE_INF" ] || [ "$stamp" = "$(stat -c %Y "$WINE_INF")" ]
}

if [ -e "$WINEPREFIX" ]; then
  [ -d "$WINEPREFIX" ] || die "$WINEPREFIX exists and is not a directory"
  [ "$(stat -c %u "$WINEPREFIX")" = "$(id -u)" ] ||
    die "$WINEPREFIX is not owned by $(id -un); Wine refuses to use it"
fi

if prefix_complete; then
  log "Wine prefix $WINEPREFIX is complete"
else
  if [ -e "$WINEPREFIX" ]; then
    if [ -e "$WINEPREFIX/system.reg" ] && ! grep -q '^#arch=win64' "$WINEPREFIX/system.reg"; then
      die "$WINEPREFIX is a 32-bit-only prefix (made by the 32-bit loader?); remove it and run again"
    fi
    if [ -n "$(ls -A "$WINEPREFIX")" ] && [ ! -e "$WINEPREFIX/system.reg" ] &&
       [ ! -e "$WINEPREFIX/drive_c" ] && [ ! -e "$WINEPREFIX/dosdevices" ]; then
      die "$WINEPREFIX is not empty and does not look like a Wine prefix"
    fi
    if [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] && lacks_32_bit_half; then
      # Made while there was no 32-bit loader: wineboot never adds the 32-bit
      # half to such a prefix later, so a new one is made; the old one stays.
      kept="$WINEPREFIX.64-bit-only.$(date +%Y%m%d-%H%M%S)"
      timeout 60 "$WINESERVER" -k 9>&- 2>/dev/null || true
      mv "$WINEPREFIX" "$kept"
      mkdir -p "$WINEPREFIX"
      log "Wine prefix $WINEPREFIX was made without the 32-bit loader, and wineboot cannot add that half"
      log "to it: moved it to $kept (copy from there what you need); creating a new one (can take minutes)"
    else
      log "Wine prefix $WINEPREFIX is incomplete or outdated; updating it"
    fi
  else
    # Created here because Wine refuses to create it in a directory that
    # the caller does not own (e.g. /tmp).
    mkdir -p "$WINEPREFIX"
    log "creating Wine prefix $WINEPREFIX with the 64-bit loader (can take minutes)"
  fi
  # Never with the 32-bit loader: such a prefix hangs / is 32-bit only.
  start=$SECONDS
  timeout 1800 "$WINE64" wineboot -i </dev/null 9>&- ||
    die "'$WINE64 wineboot -i' failed (rc=$?)"
  # wineserver writes the registry to disk when it exits; wait for that.
  timeout 300 "$WINESERVER" -w 9>&- || true
  # Without its 32-bit half the prefix still runs 64-bit programs.
  if ! prefix_complete && [ -z "$i386_problem" ] && [ -f "$WINEPREFIX/system.reg" ] && lacks_32_bit_half; then
    i386_problem="wineboot did not make the prefix's 32-bit half (no syswow64/kernel32.dll)"
  fi
  prefix_complete || die "$WINEPREFIX still incomplete after wineboot"
  log "Wine prefix ready after $((SECONDS - start)) s"
fi

# --- 3. Smoke test -------------------------------------------------------------
# Run the prefix's own cmd.exe (64-bit from system32, 32-bit from syswow64)
# and check that the exit code comes back. Under qemu emulation the 32-bit
# run takes about two minutes, so it is only done there right after creation.

smoke() { # loader expected-rc timeout
  local rc=0
  (cd "$WINEPREFIX/drive_c" && timeout "$3" "$1" cmd.exe /c exit "$2" </dev/null >/dev/null 2>&1 9>&-) || rc=$?
  [ "$rc" -eq "$2" ]
}
# Program image of a running 32-bit Windows program (cmd.exe waiting for its
# input): Wine's loader when the kernel runs it, the emulator otherwise.
i386_process_image() {
  local pid image
  (cd "$WINEPREFIX/drive_c" && exec "$WINE32" cmd.exe) < <(sleep 5) >/dev/null 2>&1 9>&- &
  pid=$!
  for _ in $(seq 200); do
    image=$(readlink "/proc/$pid/exe" 2>/dev/null) || break
    case "${image##*/}" in bash|sh) sleep 0.05 ;; *) echo "$image"; break ;; esac
  done
  wait "$pid" 2>/dev/null || true
}

smoke "$WINE64" 7 120 || die "64-bit Windows program did not run ($WINE64 cmd.exe)"
if [ -n "$i386_problem" ]; then
  :
elif [ "$emulated" -eq 0 ]; then
  if ! smoke "$WINE32" 7 120; then
    i386_problem="a 32-bit Windows program did not run ($WINE32 cmd.exe); try SETUP_WINE_I386=qemu"
  else
    image=$(i386_process_image)
    case "$image" in
      "") i386_problem="could not see the process image of a 32-bit Windows program" ;;
      *qemu*) i386_problem="32-bit Windows programs run under the emulator $image although the kernel runs them itself" ;;
      *) log "32-bit Windows programs run natively (process image $image)" ;;
    esac
  fi
elif [ -n "${start:-}" ]; then
  smoke "$WINE32" 7 600 || i386_problem="a 32-bit Windows program did not run ($WINE32 cmd.exe)"
fi

if [ -n "$i386_problem" ]; then
  echo "Wine ready for 64-bit programs only ('/usr/lib/wine/wine64 PROGRAM.exe'); 32-bit programs cannot run: $i386_problem"
  exit 3
fi
echo "Wine ready: run 32-bit programs with '/usr/lib/wine/wine PROGRAM.exe', 64-bit with '/usr/lib/wine/wine64 PROGRAM.exe' (env: WINEPREFIX=$WINEPREFIX WINEDEBUG=$WINEDEBUG WINEDLLOVERRIDES=$WINEDLLOVERRIDES$([ "$emulated" -eq 0 ] || echo " QEMU_RESERVED_VA=$QEMU_RESERVED_VA"))"
