#!/usr/bin/env bash
# Changes one setting in a settings file written by twnt -install:
#   set-setting.sh FILE NAME VALUE     (VALUE: printable text without quotes)
# The agent picks the change up at its next cycle.
set -euo pipefail
file=$1 name=$2 value=$3
tmp="$file.edit.$$"
awk -v name="$name" -v value="$value" '
  BEGIN { IGNORECASE = 1; want = "\\twnt\\" tolower(name) "]" }
  /^\[/ { inkey = (index(tolower($0), want) > 0) }
  inkey && /^@=/ { print "@=\"" value "\""; found = 1; next }
  { print }
  END { if (!found) exit 3 }' "$file" >"$tmp" || { rm -f "$tmp"; echo "no setting $name in $file" >&2; exit 1; }
chmod 600 "$tmp"
mv "$tmp" "$file"
