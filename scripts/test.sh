#!/usr/bin/env bash
# Installs what is missing (also the tests' tools), builds into build/, runs
# every test with ctest and checks that no test added, changed or removed a
# file in the build's program folder, then builds the programs of the sanitizer tests (drivers,
# engine, their tests) under the address and undefined-behaviour sanitizers
# into build-asan/ and runs them there, and the window with its offscreen and
# Xvfb tests likewise, then builds the fuzz targets with
# clang and libFuzzer into build-fuzz/ and runs each for a few seconds under
# the sanitizers.
# Exits non-zero when anything fails.
#   scripts/test.sh            everything
#   TAMARO_NO_ASAN=1 ...       skip the sanitizer pass
#   TAMARO_NO_FUZZ=1 ...       skip the fuzz pass
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
test_start=$(date +%s)

scripts/deps.sh || { echo "test.sh: installing dependencies failed"; exit 1; }

status=0

# The engine folders stay free of Qt Widgets.
if grep -rnE '#\s*include\s*[<"](Q[A-Z]|QtWidgets|QtGui)' core platform db users patient archive app 2>/dev/null; then
  echo "test.sh: Qt headers found in the engine folders (above)"
  status=1
fi

# Every layer includes only the layers below it.
scripts/check-layers.sh || status=1

jobs=$(nproc)
# A compiler cache keeps rebuilds in other checkouts of the project cheap.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$root"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Light optimisation without debug information, as the demo's first build:
# it compiles in half the time of -O2 -g, and the demo and the tests share
# the folder.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" -DTAMARO_UI_UNITY=ON -DTAMARO_WERROR=ON "${launcher[@]}" >/dev/null || exit 1
cmake --build build -j"$jobs" || exit 1

fbstarted=0
if [ -x scripts/fbserver.sh ]; then
  if scripts/fbserver.sh start; then fbstarted=1; fi
fi
trap '[ $fbstarted = 1 ] && "$root"/scripts/fbserver.sh stop' EXIT

# The program folder holds what the build put there and what a start by hand
# or by the demo wrote (its Tamaro.cfg), and the tests change nothing in it:
# a Tamaro.cfg of theirs would give the next start the tests' filter ranges.
program_folder() {
  find build/tamaro -mindepth 1 -maxdepth 1 ! -name tamaro ! -name tpl ! -name Dokumentation \
    -printf '%f %y %s %T@\n' | sort
}
before_tests=$(program_folder)

ctest --test-dir build --output-on-failure -j"$jobs" --timeout 900 || status=1

changed=$(diff <(echo "$before_tests") <(program_folder) | sed -n 's/^[<>] \([^ ]*\) .*/\1/p' |
  sort -u | tr '\n' ' ')
if [ -n "$changed" ]; then
  echo "test.sh: tests left or changed files in build/tamaro: ${changed% }"
  status=1
fi

if [ -z "${TAMARO_NO_ASAN:-}" ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAMARO_SANITIZE=ON -DTAMARO_WITH_QT=ON -DTAMARO_WERROR=ON "${launcher[@]}" >/dev/null || exit 1
  cmake --build build-asan -j"$jobs" --target tamaro_sanitize_tests || exit 1
  ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=0 ctest --test-dir build-asan --output-on-failure -j"$jobs" -L sanitize --timeout 900 || status=1
fi

# The window under the same sanitizers, leak check included, in the same
# folder: the program, its offscreen tests and its tests on Xvfb (which start
# the program itself). Only Qt's own reports are suppressed (tests/qt.supp).
if [ -z "${TAMARO_NO_ASAN:-}" ]; then
  ui_start=$(date +%s)
  cmake --build build-asan -j"$jobs" --target tamaro_ui_tests tamaro_xvfb_tests || exit 1
  # Whether every failed test of a ctest JUnit file failed with the leak
  # check's tracer crash in its output (and at least one failed).
  tracer_crashes_only() {
    python3 - "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
failed = [t for t in ET.parse(sys.argv[1]).getroot().iter("testcase") if t.get("status") == "fail"]
crash = "LeakSanitizer has encountered a fatal error"
sys.exit(0 if failed and all(crash in (t.findtext("system-out") or "") for t in failed) else 1)
PY
  }
  # The runtime's bookkeeping of dynamic thread-local storage (that of
  # libraries loaded at run time: the drivers, the Firebird engine, Qt's
  # plugins) is off: on this system it records ranges that are no memory at
  # all for some threads, and the leak check, reading them at the
  # exit while such a thread still lives, dies in its tracer thread.
  ui_ctest() {
    ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:intercept_tls_get_addr=0 LSAN_OPTIONS=suppressions="$root/tests/qt.supp" \
      UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure --timeout 1800 "$@"
  }
  if ! ui_ctest -j"$jobs" -L ui --output-junit "$root/build-asan/ui-tests.xml"; then
    # Should the leak check's own tracer thread still die at a process's
    # exit ("Tracer caught signal 11", a fault of the sanitizer runtime,
    # whose check then never ran), the tests whose output holds that crash
    # run once more; any other failure stands.
    if tracer_crashes_only "$root/build-asan/ui-tests.xml"; then
      echo "test.sh: the leak check's tracer crashed in the tests above; they run once more"
      ui_ctest --rerun-failed || status=1
    else
      status=1
    fi
  fi
  echo "test.sh: the window's sanitizer pass took $(( $(date +%s) - ui_start )) s"
fi

if [ -z "${TAMARO_NO_FUZZ:-}" ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DTAMARO_FUZZ=ON -DTAMARO_WITH_QT=OFF "${launcher[@]}" >/dev/null || exit 1
  cmake --build build-fuzz -j"$jobs" --target tamaro_fuzzers || exit 1
  ctest --test-dir build-fuzz --output-on-failure -L fuzz || status=1
fi

echo "test.sh: took $(( $(date +%s) - test_start )) s"
if [ $status -ne 0 ]; then echo "test.sh: FAILED"; else echo "test.sh: all tests passed"; fi
exit $status
