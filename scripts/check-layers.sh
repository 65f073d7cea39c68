#!/usr/bin/env bash
# The folders are layers, each including only those below it:
#   core -> platform -> db -> users, patient -> archive -> app -> ui
# users and patient stand side by side and include neither each other.
# drivers/ may use only core/ (the code page 1252 helpers); tools/, tests/ and
# bench/ stand beside the layers and may include any of them.
# Prints every include that runs upwards or sideways and exits 1 if there is one.
set -uo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    core) echo 0 ;;
    platform) echo 1 ;;
    db) echo 2 ;;
    users | patient) echo 3 ;;
    archive) echo 4 ;;
    app) echo 5 ;;
    ui) echo 6 ;;
    *) echo -1 ;;
  esac
}

status=0
check() {  # folder, highest allowed rank of an included layer, and whether equal rank is allowed
  local from=$1 limit=$2
  local file line inc layer r
  while IFS=: read -r file line inc; do
    layer=$(sed -E 's/.*#\s*include\s*"([a-z_]+)\/.*/\1/' <<<"$inc")
    r=$(rank "$layer")
    [ "$r" -lt 0 ] && continue
    if [ "$r" -gt "$limit" ] || { [ "$r" -eq "$limit" ] && [ "$layer" != "$from" ] && [ "$from" != drivers ]; }; then
      echo "$file:$line:$inc   ($from must not include $layer)"
      status=1
    fi
  done < <(grep -rnE '^\s*#\s*include\s*"[a-z_]+/' "$from" 2>/dev/null)
}

for layer in core platform db users patient archive app ui; do
  [ -d "$layer" ] && check "$layer" "$(rank "$layer")"
done
[ -d drivers ] && check drivers 0

if [ $status -ne 0 ]; then
  echo "check-layers: includes that run against the layer order (above)"
fi
exit $status
