#!/usr/bin/env bash
# The set-up on a mirror in mid-sync, against stand-ins for apt-get, apt-cache,
# dpkg, dpkg-query and id (nothing is installed): the index update fails, and
# the 32-bit Wine cannot be installed; the builds' need still installs, the
# test need reports the 32-bit Wine missing, and the test run names the suites
# it could not run and fails. Where the failed index is a suite's i386 one, the
# 32-bit Wine is installed with the native libraries held to the versions
# both architectures see.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/repo/scripts"
cp "$repo/scripts/install-deps.sh" "$repo/scripts/run-tests.sh" "$work/repo/scripts/"
: > "$work/installed"
export STANDIN_LOG="$work/apt.log" STANDIN_INSTALLED="$work/installed" STANDIN_WORK="$work"
held="E: Unable to correct problems, you have held broken packages."
main=http://deb.debian.org/debian security=http://deb.debian.org/debian-security
printf 'Package: libpcre2-8-0\nMulti-Arch: same\n' > "$work/security-amd64-Packages"

# apt-get: the update fails as on a half-synced mirror; the index targets are
# main for both architectures and, with STANDIN_I386_SECURITY_MISSING, the
# security suite for amd64 only. An install including wine32:i386 fails
# whole, as apt's does, unless libpcre2-8-0 is held to the main version;
# anything else is "installed".
cat > "$work/bin/apt-get" <<EOF
#!/usr/bin/env bash
echo "\$*" >> "\$STANDIN_LOG"
if [ "\$1" = update ]; then
  echo "E: Failed to fetch $security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
  exit 100
fi
if [ "\$1" = indextargets ]; then
  echo "$main bookworm main amd64 /nonexistent"
  echo "$main bookworm main i386 /nonexistent"
  [ -z "\${STANDIN_I386_SECURITY_MISSING:-}" ] || echo "$security bookworm-security main amd64 \$STANDIN_WORK/security-amd64-Packages"
  exit 0
fi
packages=() prefs=/nonexistent simulate=
while [ \$# -gt 0 ]; do
  case "\$1" in
    -o) shift; [[ "\$1" != Dir::Etc::PreferencesParts=* ]] || prefs=\${1#*=} ;;
    -s) simulate=1 ;;
    -*|install) ;;
    *) packages+=("\$1") ;;
  esac
  shift
done
for p in "\${packages[@]}"; do
  if [ "\$p" = wine32:i386 ] && ! grep -qsx 'Pin: version 10.42-1' "\$prefs"/*; then
    echo " libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386"; echo "$held" >&2; exit 100
  fi
done
if [ -n "\$simulate" ]; then
  [ -z "\${STANDIN_REMOVES:-}" ] || echo "Remv libpcre2-dev [10.42-1+deb12u2]"
  echo "Inst libpcre2-8-0 [10.42-1+deb12u2] (10.42-1 Debian:12.15/oldstable [amd64])"
  echo "Inst libpcre2-8-0:i386 (10.42-1 Debian:12.15/oldstable [i386])"
  exit 0
fi
printf '%s\n' "\${packages[@]}" >> "\$STANDIN_INSTALLED"
EOF
# apt-cache madison: libpcre2-8-0, newest in the security suite.
cat > "$work/bin/apt-cache" <<EOF
#!/usr/bin/env bash
[ "\$1" = madison ] || exit 1
echo "libpcre2-8-0 | 10.42-1+deb12u2 | $security bookworm-security/main amd64 Packages"
echo "libpcre2-8-0 |    10.42-1 | $main bookworm/main amd64 Packages"
EOF
cat > "$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
grep -qxF -- "${!#}" "$STANDIN_INSTALLED" && printf 'install ok installed' && exit 0
echo "dpkg-query: no packages found matching ${!#}" >&2; exit 1
EOF
cat > "$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case "$1" in --print-foreign-architectures) echo i386 ;; --print-architecture) echo amd64 ;; esac
exit 0
EOF
printf '#!/bin/sh\necho 0\n' > "$work/bin/id"
chmod +x "$work/bin/"*
export PATH="$work/bin:$PATH" INSTALL_DEPS_UPDATE_TRIES=3 INSTALL_DEPS_UPDATE_PAUSE=0

failures=0
check() { # what, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
deps() { # need, into $work/NEED.out; its exit status into rc
  rc=0
  bash "$work/repo/scripts/install-deps.sh" "$1" >"$work/$1.out" 2>&1 || rc=$?
}
updates() { grep -c '^update' "$STANDIN_LOG"; }
says() { grep -qF -- "$2" "$work/$1.out"; }

# (a) and (b): the builds' need, with the index update failing every time.
deps build
check "build need: succeeds although the index update fails (exit $rc)" [ "$rc" -eq 0 ]
check "build need: the update is tried 3 times, each failure a warning" [ "$(updates)" -eq 3 ]
check "build need: the compilers are installed" grep -qx g++-mingw-w64-i686 "$STANDIN_INSTALLED"
check "build need: no Wine" bash -c "! grep -q '^install.*wine' '$STANDIN_LOG'"

deps test
check "test need: succeeds without wine32:i386 (exit $rc)" [ "$rc" -eq 0 ]
check "test need: installs the 64-bit Wine" grep -qx wine64 "$STANDIN_INSTALLED"
check "test need: installs only what is missing" bash -c "! grep '^install' '$STANDIN_LOG' | tail -n +2 | grep -q cmake"
check "test need: names wine32:i386 with apt's reason" says test "wine32:i386 could not be installed: $held"
check "test need: leaves the reason for the test run" grep -qxF "$held" "$work/repo/build/missing-packages/wine32:i386"

deps bench
check "bench need: fails, as it requires wine32:i386 (exit $rc)" [ "$rc" -eq 1 ]
check "bench need: says which package and apt's reason" says bench "  wine32:i386: $held"
check "bench need: says what the user can do" says bench "wait for the Debian mirror to finish syncing"

# (c) The test run where 32-bit Windows programs cannot run: CTest on suites
# that are plain commands; the win32 Wine suite would pass if it were run.
cd "$work/repo"
cat > scripts/setup-wine.sh <<'EOF'
echo "Wine ready for 64-bit programs only; 32-bit programs cannot run: the 32-bit loader /usr/lib/wine/wine is not installed (package wine32:i386)"
exit 3
EOF
# The release files' checks pass.
echo 'exit 0' > scripts/dist-test.sh
presets=linux:native,asan:sanitized,win64:win64,win32:win32,fuzz:fuzz
{
  echo '{"version": 6, "configurePresets": ['
  for p in ${presets//,/ }; do echo "{\"name\": \"${p%:*}\", \"binaryDir\": \"\${sourceDir}/build/${p%:*}\"},"; done | sed '$ s/,$//'
  echo '], "testPresets": ['
  for p in ${presets//,/ }; do
    echo "{\"name\": \"${p%:*}\", \"configurePreset\": \"${p%:*}\", \"execution\": {\"noTestsAction\": \"error\"},"
    echo " \"filter\": {\"exclude\": {\"label\": \"ardour\"}}},"
  done | sed '$ s/,$//'
  echo ']}'
} > CMakePresets.json
for p in ${presets//,/ }; do
  mkdir -p "build/${p%:*}"
  echo "add_test(unit-${p#*:} true)" > "build/${p%:*}/CTestTestfile.cmake"
done
for p in win64 win32; do
  cat >> "build/$p/CTestTestfile.cmake" <<EOF
add_test(integration-$p-wine true)
set_tests_properties(integration-$p-wine PROPERTIES LABELS wine)
EOF
done
printf 'add_test(fuzz-skipped sh -c "exit 77")\nset_tests_properties(fuzz-skipped PROPERTIES SKIP_RETURN_CODE 77)\n' \
  >> build/fuzz/CTestTestfile.cmake

rc=0
bash scripts/run-tests.sh > "$work/run.out" 2>&1 || rc=$?
suite_line() { grep -E "^  $1 " "$work/run.out"; }
check "test run: fails (exit $rc)" [ "$rc" -ne 0 ]
check "test run: the win32 Wine suite is not run, not ok" bash -c "[[ \$(grep -E '^  integration-win32-wine ' '$work/run.out') == *'not run' ]]"
check "test run: every suite that can run ran" bash -c "[ \$(grep -cE '^  (unit-[a-z0-9]+|integration-win64-wine) +ok ' '$work/run.out') -eq 6 ]"
check "test run: a skipped suite is not run" bash -c "[[ \$(grep -E '^  fuzz-skipped ' '$work/run.out') == *'not run' ]]"
check "test run: the reason, with apt's" grep -qF "integration-win32-wine: 32-bit Windows programs cannot run: the 32-bit loader /usr/lib/wine/wine is not installed (package wine32:i386); installing wine32:i386 failed: $held" "$work/run.out"
check "test run: the summary counts them" grep -qx "suites: 10 passed, 0 failed, 2 not run" "$work/run.out"

# (d) The failed index is the security suite's for i386: the second try,
# with libpcre2-8-0 held to the version both architectures see, installs it,
# unless apt would remove a package for it.
export STANDIN_I386_SECURITY_MISSING=1
STANDIN_REMOVES=1 deps test
check "test need, i386 index missing: no second try that would remove a package" \
  bash -c "! grep -v -- ' -s ' '$STANDIN_LOG' | grep -q PreferencesParts"
check "test need, i386 index missing: says what would go" says test "apt would remove libpcre2-dev"
deps test
check "test need, i386 index missing: succeeds (exit $rc)" [ "$rc" -eq 0 ]
check "test need, i386 index missing: installs wine32:i386" grep -qx wine32:i386 "$STANDIN_INSTALLED"
check "test need, i386 index missing: names the native packages it held back" says test "install-deps:   libpcre2-8-0"
check "test need, i386 index missing: the note for the test run is gone" [ ! -e "$work/repo/build/missing-packages/wine32:i386" ]

if [ "$failures" -ne 0 ]; then
  for f in build test bench; do echo "--- install-deps.sh $f:"; cat "$work/$f.out"; done
  echo "--- apt-get calls:"; cat "$STANDIN_LOG"
  echo "--- run-tests.sh:"; cat "$work/run.out"
  exit 1
fi
