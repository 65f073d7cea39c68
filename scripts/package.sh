#!/usr/bin/env bash
# Builds the Debian package of Tamaro with CPack into build/, checks it with
# lintian, and tries it without changing the system (unpacked into a temporary
# root, see tests/packaging/check_installation.sh). Prints the package, its
# size and lintian's findings; exits non-zero when lintian finds an error or
# the check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/deps.sh
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$root"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
rm -f build/tamaro_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/tamaro_*.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# lintian refuses nothing as root, but says so; its findings go to the log.
findings=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges" || true)
errors=$(grep -c "^E:" <<<"$findings" || true)
warnings=$(grep -c "^W:" <<<"$findings" || true)
[ -n "$findings" ] && echo "$findings"
echo "lintian: $errors errors, $warnings warnings"

tests/packaging/check_installation.sh --deb "$deb"
[ "$errors" -eq 0 ]
