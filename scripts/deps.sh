#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tamaro needs, when missing.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  unixodbc unixodbc-dev
  libfbclient2 firebird-dev firebird3.0-server-core firebird3.0-utils firebird3.0-server
  libsqlite3-dev sqlite3
  qt6-base-dev libqt6dbus6 libqt6printsupport6
  googletest libgtest-dev libgmock-dev
  python3-pyodbc libdbd-odbc-perl
  xvfb xauth dbus libdbus-1-dev xdotool
  clang-format
  clang libclang-rt-14-dev
  ccache
  dpkg-dev fakeroot lintian
)

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
