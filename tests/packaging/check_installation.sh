#!/usr/bin/env bash
# Checks an installation of Tamaro without changing the system: the layout,
# the desktop entry, --help and --version, a demo practice made by the
# installed tamaro-mkpractice, and a headless start of the installed program
# from its folder with no ODBC setting, so that it must find its drivers beside
# itself.
#   check_installation.sh --build BUILD_DIR   installs the build into a temporary prefix
#   check_installation.sh --deb PACKAGE.deb   unpacks the package into a temporary root
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tamaro-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "check_installation: $*" >&2; exit 1; }

case "${1:-}" in
  --build)
    prefix=$tmp/prefix
    TAMARO_NO_ODBCINST=1 cmake --install "$2" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
    ;;
  --deb)
    dpkg-deb -x "$2" "$tmp/root" || fail "dpkg-deb -x failed"
    prefix=$tmp/root/usr
    # Installed, the registration names the drivers at /usr/lib/tamaro/odbc;
    # unpacked here they lie under the temporary root.
    sed -i "s|=/usr/|=$tmp/root/usr/|" "$prefix/lib/tamaro/odbc/odbcinst.ini"
    ;;
  *) echo "usage: $0 --build BUILD_DIR | --deb PACKAGE.deb" >&2; exit 2 ;;
esac

program=$prefix/lib/tamaro
for f in "$program/tamaro" "$program/tpl/archiv.fdb" "$program/tpl/archiv.mdb" \
         "$program/Dokumentation/index.html" "$program/Dokumentation/administration.html" \
         "$program/odbc/libtamarofb.so" \
         "$program/odbc/libtamaroaccess.so" "$program/odbc/odbcinst.ini" \
         "$prefix/bin/tamaro" "$prefix/bin/tamaro-mkpractice" \
         "$prefix/share/applications/tamaro.desktop" \
         "$prefix/share/icons/hicolor/scalable/apps/tamaro.svg" \
         "$prefix/share/man/man1/tamaro.1.gz" "$prefix/share/doc/tamaro/copyright"; do
  [ -e "$f" ] || fail "missing $f"
done
grep -qx "Exec=${prefix#"$tmp/root"}/lib/tamaro/tamaro" "$prefix/share/applications/tamaro.desktop" ||
  fail "the desktop entry does not start the program"
grep -qx "Path=${prefix#"$tmp/root"}/lib/tamaro" "$prefix/share/applications/tamaro.desktop" ||
  fail "the desktop entry does not start in the program folder"

# No display, no practice, no ODBC setting: --help and --version still answer.
run() { env -u ODBCSYSINI -u ODBCINI -u ODBCINSTINI -u DISPLAY -u WAYLAND_DISPLAY \
          XDG_CONFIG_HOME="$tmp/config" FIREBIRD_LOCK="$tmp/fblock" "$@"; }
mkdir -p "$tmp/config" "$tmp/fblock"
help=$(run "$prefix/bin/tamaro" --help) || fail "tamaro --help failed"
while read -r option; do
  grep -qF -- "$option" <<<"$help" || fail "--help does not list $option"
done <"$here/program_options.txt"
[ "$(run "$prefix/bin/tamaro" --version)" = "Tamaro V1.38" ] || fail "unexpected --version"

run "$prefix/bin/tamaro-mkpractice" "$tmp/practice" --kind fdb --patients 12 --seed 3 \
  --network --register >/dev/null || fail "tamaro-mkpractice failed"
out=$(cd "$program" && run ./tamaro --headless </dev/null 2>&1)
status=$?
grep -q "Gesamt: 12 Patienten" <<<"$out" && [ $status -eq 0 ] ||
  fail "the headless start failed (status $status):"$'\n'"$out"
echo "check_installation: $1 $2: ok"
