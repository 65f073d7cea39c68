#!/usr/bin/env bash
# Installs the Debian packages Tamaro needs, when missing.
#   scripts/deps.sh           everything: building, running and testing
#   scripts/deps.sh --build   only what building and running the program needs
#                             (scripts/demo.sh); the tests' tools stay out
set -euo pipefail

# Building and running: compiler, ODBC, the Firebird engine (embedded, and
# gfix for the archive templates), SQLite, Qt with its German texts, D-Bus,
# nettle's SHA-256 and the font of the exported patient records' PDF.
BUILD=(
  g++ cmake ninja-build pkg-config
  unixodbc unixodbc-dev
  libfbclient2 firebird-dev firebird3.0-server-core firebird3.0-utils
  libsqlite3-dev
  qt6-base-dev libqt6dbus6 libqt6printsupport6 qt6-translations-l10n
  libdbus-1-dev
  nettle-dev fonts-dejavu-core
)
# Testing: GoogleTest, the independent ODBC clients (pyodbc, Perl DBI, PHP's
# PDO_ODBC), the Firebird server, pdftotext for the exported PDFs, a session
# bus, the X server and the keyboard for the window tests, the
# sanitizer and fuzzing compiler, formatting, packaging checks, and the
# checker of the administrator guide's systemd units.
TEST=(
  googletest libgtest-dev libgmock-dev
  python3-pyodbc libdbd-odbc-perl php-cli php-odbc sqlite3 firebird3.0-server poppler-utils
  dbus xvfb xauth xdotool x11-utils
  clang libclang-rt-14-dev clang-format ccache
  dpkg-dev fakeroot lintian
  systemd
)

case "${1:-}" in
  --build) PACKAGES=("${BUILD[@]}") ;;
  "") PACKAGES=("${BUILD[@]}" "${TEST[@]}") ;;
  *) echo "usage: $0 [--build]" >&2; exit 2 ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Debian server package starts its own server on port 3050; tests start
# their own, so keep the packaged one from holding the port.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet firebird3.0 2>/dev/null; then
  systemctl stop firebird3.0 || true
fi
if pgrep -x fbguard >/dev/null 2>&1 || pgrep -x firebird >/dev/null 2>&1; then
  if [ -x /etc/init.d/firebird3.0 ]; then /etc/init.d/firebird3.0 stop >/dev/null 2>&1 || true; fi
fi
exit 0
