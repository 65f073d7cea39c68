#!/usr/bin/env bash
# The folders are layers, each including only those below it:
#   core -> platform -> db -> users, patient -> archive -> app -> ui
# users and patient stand side by side and include neither each other.
# drivers/ may use only core/ (the code page 1252 helpers); tools/, tests/ and
# bench/ stand beside the layers and may include any of them.
# Inside archive/, app/ and drivers/common/ the folders are rooms with an
# order of their own (see room_rank); the two drivers' engines stand on the
# lower rooms of drivers/common/ only.
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

# Inside a layer, rooms have their own order: archive's rows < safety <
# maintenance < runs < export, app's commands < its headless face, and the
# drivers' plumbing base < values < sql < handles < api. A file may include
# its own room and the rooms below it.
room_rank() {  # layer, room
  case "$1/$2" in
    archive/rows) echo 0 ;;
    archive/safety) echo 1 ;;
    archive/maintenance) echo 2 ;;
    archive/runs) echo 3 ;;
    archive/export) echo 4 ;;
    app/headless) echo 1 ;;
    app/*) echo 0 ;;
    drivers/common/base) echo 0 ;;
    drivers/common/values) echo 1 ;;
    drivers/common/sql) echo 2 ;;
    drivers/common/handles) echo 3 ;;
    drivers/common/api) echo 4 ;;
    *) echo -1 ;;
  esac
}
check_rooms() {  # layer
  local layer=$1 file line inc from to rf rt
  while IFS=: read -r file line inc; do
    from=${file#"$layer/"}
    from=${from%%/*}
    [ -f "$layer/$from" ] && from=.
    to=$(sed -E "s|.*#\s*include\s*\"$layer/([A-Za-z_]+)[/.].*|\1|" <<<"$inc")
    grep -qE "\"$layer/$to/" <<<"$inc" || to=.
    rf=$(room_rank "$layer" "$from")
    rt=$(room_rank "$layer" "$to")
    if [ "$rf" -lt 0 ] || [ "$rt" -lt 0 ]; then
      echo "$file:$line:$inc   (every file of $layer/ belongs to one of its rooms)"
      status=1
    elif [ "$rt" -gt "$rf" ]; then
      echo "$file:$line:$inc   ($(sed 's|/\.$||' <<<"$layer/$from") must not include $(sed 's|/\.$||' <<<"$layer/$to"))"
      status=1
    fi
  done < <(grep -rnE "^\s*#\s*include\s*\"$layer/" "$layer" 2>/dev/null)
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
for layer in archive app drivers/common; do
  [ -d "$layer" ] && check_rooms "$layer"
done
# The engines implement the contract that the handles drive: they may not
# reach up into the handles or the entry points.
while IFS=: read -r file line inc; do
  echo "$file:$line:$inc   (a driver's engine must not include drivers/common/handles or api)"
  status=1
done < <(grep -rnE '^\s*#\s*include\s*"drivers/common/(handles|api)/' drivers/firebird drivers/access 2>/dev/null)

if [ $status -ne 0 ]; then
  echo "check-layers: includes that run against the layer order (above)"
fi
exit $status
