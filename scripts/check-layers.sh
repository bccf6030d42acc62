#!/usr/bin/env bash
# Checks the agent's layering from its #include lines:
#   - the include graph between agent/ folders has no cycle;
#   - only the cycle, the entry, the commands, the service and the cycle's
#     test step and its dry run (twnt -test) see the whole agent
#     (agent/core/agent.h);
#   - no logic file (agent/, the editor's models) includes an
#     operating-system header or names /proc;
#   - nothing under platform/ includes agent/ code;
#   - the editor uses only the agent's foundations and its WMI test
#     language, and nothing of the agent or the platform includes it.
# Prints the folder graph and answers 0 when all hold. Usage:
#   scripts/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
status=0

# Folder -> folder edges, one per line.
edges=$(grep -rHo --include='*.cpp' --include='*.h' '^#include "agent/[^"]*"' agent |
  sed -E 's|^(.*)/[^/]*:#include "(.*)/[^/]*"$|\1 \2|' | awk '$1 != $2' | sort -u)

echo "agent/ folder includes:"
echo "$edges" | awk '{ print "  " $1 " -> " $2 }'

# Kahn's algorithm on the reversed question: drop folders that include no
# remaining folder until none is left; what stays lies on a cycle.
left=$(echo "$edges" | awk '
  { out[$1] = out[$1] " " $2; nodes[$1]; nodes[$2] }
  END {
    do {
      changed = 0
      for (n in nodes) {
        k = split(out[n], t, " "); busy = 0
        for (i = 1; i <= k; i++) if (t[i] in nodes) busy = 1
        if (!busy) { delete nodes[n]; changed = 1 }
      }
    } while (changed)
    for (n in nodes) print n
  }')
if [ -n "$left" ]; then
  echo "FAIL: agent/ folders include each other in a circle (these are on it or above it):"
  echo "$left" | sed 's/^/  /'
  status=1
else
  echo "ok: no cycle between agent/ folders"
fi

# The whole agent is seen only by the code that runs it.
allowed='^agent/core/(cycle|drycycle|entry|commands|service|builtins)\.cpp$'
wide=$(grep -rl --include='*.cpp' --include='*.h' '#include "agent/core/agent.h"' agent |
  grep -Ev "$allowed" || true)
if [ -n "$wide" ]; then
  echo "FAIL: the whole Agent is seen by:"
  echo "$wide" | sed 's/^/  /'
  status=1
else
  echo "ok: only the cycle, entry, commands and service code see the whole Agent"
fi

# Logic reaches the operating system only through platform/.
os='#include <(unistd\.h|windows\.h|winsock2?\.h|sys/[^>]*|fcntl\.h|dirent\.h|pthread\.h|signal\.h|netdb\.h|arpa/inet\.h|netinet/[^>]*)>'
# (The editor's dialog models too; its views in editor/qt and editor/win32
# are built on the toolkits.)
osuse=$( (grep -rEn --include='*.cpp' --include='*.h' "$os" agent; grep -En "$os|#include <Q" editor/*.cpp editor/*.h
  grep -rn --include='*.cpp' --include='*.h' '"/proc' agent editor/*.cpp editor/*.h) || true)
if [ -n "$osuse" ]; then
  echo "FAIL: operating-system or Qt headers or /proc paths in logic code:"
  echo "$osuse" | sed 's/^/  /'
  status=1
else
  echo "ok: no operating-system header and no /proc path under agent/ or in the editor's models"
fi
# The platform lies below all of the agent.
up=$(grep -rn --include='*.cpp' --include='*.h' '^#include "agent/' platform || true)
if [ -n "$up" ]; then
  echo "FAIL: platform/ includes agent/ code:"
  echo "$up" | sed 's/^/  /'
  status=1
else
  echo "ok: nothing under platform/ includes agent/"
fi
# The editor sits above the agent's foundations and the platform.
editorup=$(grep -rn --include='*.cpp' --include='*.h' '^#include "editor/' agent platform || true)
editorwide=$(grep -rn --include='*.cpp' --include='*.h' '^#include "agent/' editor |
  grep -Ev '#include "agent/(core/base|wmitests)/' || true)
if [ -n "$editorup$editorwide" ]; then
  echo "FAIL: the editor is out of its layer:"
  printf '%s\n' "$editorup" "$editorwide" | sed '/^$/d; s/^/  /'
  status=1
else
  echo "ok: the editor uses only the agent's foundations and WMI tests, and nothing below includes it"
fi
exit $status
