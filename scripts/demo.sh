#!/usr/bin/env bash
# Runs Tamaro on a demo practice: installs what building and running needs
# (not the tests' tools), builds, creates a practice of the Firebird kind
# (embedded engine, 2,000 patients) under the user's data folder unless one
# exists, points the per-user Velunda key at it and starts the program — with
# its window when a display is available, otherwise headless (the progress
# log on standard output).
#   scripts/demo.sh [--headless] [further arguments for tamaro]
#   TAMARO_DEMO_TIME_LIMIT=300 ...   end the program after so many seconds
#                                    (status 124), for unattended runs
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/deps.sh --build
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$root"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
if [ -f build/CMakeCache.txt ]; then
  # A build folder made before (by the tests, say) keeps its settings.
  cmake -S . -B build "${launcher[@]}" >/dev/null
else
  # A first build, for the quickest start: light optimisation, no debug
  # information, the window's sources as one unit.
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" -DTAMARO_UI_UNITY=ON "${launcher[@]}" >/dev/null
fi
# Only what the demo runs on its Firebird practice: the program with its help
# pages, the generator, the Firebird driver and its archive template.
cmake --build build -j"$(nproc)" --target tamaro tamaro-mkpractice tamarofb archive_template_fdb

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
practice="$data_home/tamaro/demo-practice"
export ODBCSYSINI="$root/build/odbc"
export ODBCINI="$root/build/odbc/odbc.ini"

if [ ! -d "$practice/Database" ]; then
  echo "demo: creating a practice with 2,000 patients in $practice"
  mkdir -p "$practice"
  "$root/build/tamaro-mkpractice" "$practice" --kind fdb --patients 2000 --seed 1 --network
fi

config_home=${XDG_CONFIG_HOME:-$HOME/.config}
mkdir -p "$config_home/Kvarn"
printf 'path=%s\r\n' "$practice" > "$config_home/Kvarn/Velunda.conf"

cd "$root/build/tamaro"
args=("$@")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  case " ${args[*]:-} " in *" --headless "*) ;; *) args=(--headless "${args[@]}") ;; esac
fi
if [ -n "${TAMARO_DEMO_TIME_LIMIT:-}" ]; then
  exec timeout --kill-after=10 "$TAMARO_DEMO_TIME_LIMIT" ./tamaro "${args[@]}"
fi
exec ./tamaro "${args[@]}"
