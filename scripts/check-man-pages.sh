#!/usr/bin/env bash
# The manual pages of a build (BUILD/man/*.gz) against their programs:
#   - each page renders with man -l without a warning;
#   - each option that the program's usage text lists appears in the page;
#   - each program of the build that has a usage text has a page.
#   scripts/check-man-pages.sh BUILD
# Prints one line per problem and "check-man-pages: N pages, N problems" last;
# fails when there is a problem.
set -uo pipefail
build=${1:?usage: check-man-pages.sh BUILD}
man=$build/man
problems=0 pages=0
problem() { echo "check-man-pages: $*"; problems=$((problems + 1)); }
command -v man >/dev/null || { echo "check-man-pages: man is not installed (Debian package man-db)"; exit 1; }

# The usage text of a program: each prints it on its own request (the agent
# for any word it does not know, with status 1).
usage() {
  case $1 in
    twnt) timeout 10 "$build/twnt" -help 2>&1 ;;
    twntcfg) ;;  # a window; its two letters are checked below
    *) timeout 10 "$build/$1" --help 2>&1 ;;
  esac
}

for program in twnt twrecv twwmi twsetting twntcfg; do
  [ -x "$build/$program" ] || continue
  page=$(ls "$man/$program".[1-8].gz 2>/dev/null | head -n1)
  if [ -z "$page" ]; then
    problem "$program has no manual page in $man"
    continue
  fi
  pages=$((pages + 1))
  warnings=$(LC_ALL=C MANWIDTH=80 timeout 30 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || problem "$(basename "$page") renders with warnings: $warnings"
  text=$(LC_ALL=C MANWIDTH=200 timeout 30 man -l "$page" 2>/dev/null | col -b)
  if [ "$program" = twntcfg ]; then
    options="v d"
  else
    options=$(usage "$program" </dev/null |
              grep -oE '(^|[[:space:][|])--?[A-Za-z][A-Za-z0-9-]*' | sed 's/^[[:space:][|]*//' | sort -u)
    [ -n "$options" ] || problem "$program printed no usage text with options"
  fi
  for o in $options; do
    grep -qE "(^|[^A-Za-z0-9-])$o([^A-Za-z0-9-]|\$)" <<<"$text" ||
      problem "$(basename "$page") does not mention $o from $program's usage text"
  done
done
echo "check-man-pages: $pages pages, $problems problems"
[ "$pages" -gt 0 ] && [ "$problems" -eq 0 ]
