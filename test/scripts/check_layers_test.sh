#!/usr/bin/env bash
# scripts/check-layers.sh refuses two modules that include each other
# (directly, header and source counted as one, or around a longer circle,
# also by includes relative to the file's folder) and names the circle;
# it passes on the tree as it is and on includes that only go one way.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib/checks.sh"
script=$root/scripts/check-layers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree=$work/tree
mkdir -p "$tree"
for d in agent base editor platform tools test bench fuzz; do
  [ -d "$root/$d" ] && cp -r "$root/$d" "$tree/"
done

# plant NAME: writes the files of a case (path|line to include, one a line).
plant() {
  while IFS='|' read -r file include; do
    mkdir -p "$(dirname "$tree/$file")"
    { echo "#pragma once"; [ -n "$include" ] && echo "#include \"$include\""; } >>"$tree/$file"
  done
}

out=$(bash "$script" "$tree" 2>&1)
check "the tree as it is passes" test $? -eq 0

# NAME|WANT (pass or the circle's line)|files, ';' between them
while IFS='|' read -r name want files; do
  planted=$(echo "$files" | tr ';' '\n' | sed 's/|.*//; s/ .*//')
  echo "$files" | tr ';' '\n' | sed 's/ /|/' | plant
  out=$(bash "$script" "$tree" 2>&1)
  rc=$?
  if [ "$want" = pass ]; then
    check "$name: passes" test $rc -eq 0
  else
    check "$name: fails" test $rc -ne 0
    check "$name: names the circle" grep -qxF "  $want" <<<"$out"
  fi
  (cd "$tree" && rm -f $planted)
done <<'EOF2'
two headers|platform/x_a -> platform/x_b -> platform/x_a|platform/x_a.h platform/x_b.h;platform/x_b.h platform/x_a.h
header and source as one|editor/x_a -> editor/x_b -> editor/x_a|editor/x_a.h;editor/x_b.h;editor/x_a.cpp editor/x_b.h;editor/x_b.cpp editor/x_a.h
three modules by relative includes|tools/x/a -> tools/x/b -> tools/x/c -> tools/x/a|tools/x/a.h b.h;tools/x/b.h c.h;tools/x/c.cpp ../x/a.h;tools/x/c.h
one way only|pass|platform/x_a.cpp platform/x_a.h;platform/x_a.h platform/x_b.h;platform/x_b.cpp platform/x_c.h;platform/x_b.h;platform/x_c.h
EOF2
summary check_layers_test
