#!/usr/bin/env bash
# Checks the agent's layering from its #include lines:
#   - no two modules include each other, directly or around a circle (a
#     module is a header and its source, counted as one; the edges are the
#     #include "..." lines of every source folder);
#   - the include graph between agent/ folders has no cycle;
#   - only the cycle, the entry, the commands, the service and the cycle's
#     test step and its dry run (twnt -test) see the whole agent
#     (agent/core/agent.h);
#   - no logic file (base/, agent/, the editor's models) includes an
#     operating-system header or names /proc;
#   - base/ includes only the platform's interfaces (platform/'s own
#     headers), nothing of the agent or the editor;
#   - nothing under platform/ includes code above it (base/, agent/,
#     editor/, tools/); the platform's interfaces (platform/'s own files)
#     include only each other, the WMI engines (platform/wmi) only the
#     interfaces and each other;
#   - the logic (base/, agent/, editor/) includes no platform
#     implementation (platform/posix, platform/win32) and not the bridge
#     (platform/bridge): it reaches them through the interfaces;
#   - the editor uses only the foundations (base/) and the agent's WMI test
#     language, and nothing of base/, the agent or the platform includes it.
# Prints the folder graph and answers 0 when all hold. Usage:
#   scripts/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
status=0

# Module -> module edges: a file's module is its path without .h or .cpp;
# an include names a path from the top folder or from the file's own folder.
dirs=$(for d in agent base editor platform tools test bench fuzz; do [ -d "$d" ] && echo "$d"; done)
# shellcheck disable=SC2086  # the folders' names
files=$(find $dirs \( -name '*.cpp' -o -name '*.h' \) -type f | sort)
# shellcheck disable=SC2086
modedges=$( (echo "$files"; echo "--"; grep -Ho '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*"' $files || true) |
  awk '
    function module(path) { sub(/\.(h|cpp)$/, "", path); return path }
    function norm(path,   n, k, i, out, p) {
      n = split(path, p, "/"); k = 0
      for (i = 1; i <= n; i++) {
        if (p[i] == "." || p[i] == "") continue
        if (p[i] == ".." && k > 0) { k--; continue }
        out[++k] = p[i]
      }
      path = out[1]
      for (i = 2; i <= k; i++) path = path "/" out[i]
      return path
    }
    $0 == "--" { listed = 1; next }
    !listed { exists[$0]; next }
    {
      colon = index($0, ":"); from = substr($0, 1, colon - 1)
      inc = substr($0, colon + 1); sub(/^[^"]*"/, "", inc); sub(/"$/, "", inc)
      dir = from; sub(/[^/]*$/, "", dir)
      if (inc in exists) to = inc
      else if (norm(dir inc) in exists) to = norm(dir inc)
      else next
      if (module(from) != module(to)) print module(from), module(to)
    }' | sort -u)

# Depth-first search; every edge back to a module on the current path
# closes a circle, printed as the path around it.
circles=$(echo "$modedges" | awk '
  NF == 2 { if (!(($1, $2) in seen)) { seen[$1, $2]; adj[$1, ++deg[$1]] = $2 }
            if (!($1 in node)) { node[$1]; order[++n] = $1 } }
  function visit(u,   i, v, j, path) {
    color[u] = 1; stack[++sp] = u; at[u] = sp
    for (i = 1; i <= deg[u]; i++) {
      v = adj[u, i]
      if (color[v] == 1) {
        path = ""
        for (j = at[v]; j <= sp; j++) path = path stack[j] " -> "
        print path v
      } else if (!color[v]) visit(v)
    }
    sp--; color[u] = 2
  }
  END { for (k = 1; k <= n; k++) if (!color[order[k]]) visit(order[k]) }')
if [ -n "$circles" ]; then
  echo "FAIL: modules include each other in a circle:"
  echo "$circles" | sed 's/^/  /'
  status=1
else
  echo "ok: no include circle between modules ($(echo "$modedges" | grep -c .) edges)"
fi

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
osuse=$( (grep -rEn --include='*.cpp' --include='*.h' "$os" base agent; grep -En "$os|#include <Q" editor/*.cpp editor/*.h
  grep -rn --include='*.cpp' --include='*.h' '"/proc' base agent editor/*.cpp editor/*.h) || true)
if [ -n "$osuse" ]; then
  echo "FAIL: operating-system or Qt headers or /proc paths in logic code:"
  echo "$osuse" | sed 's/^/  /'
  status=1
else
  echo "ok: no operating-system header and no /proc path under base/, agent/ or in the editor's models"
fi
# The foundations lie on the platform's interfaces, below the agent and the
# editor.
baseout=$(grep -rn --include='*.cpp' --include='*.h' '^#include "' base |
  grep -Ev '#include "(base/[^/"]*|platform/[^/"]*)"' || true)
if [ -n "$baseout" ]; then
  echo "FAIL: base/ includes more than itself and the platform's interfaces:"
  echo "$baseout" | sed 's/^/  /'
  status=1
else
  echo "ok: base/ includes only itself and the platform's interfaces"
fi
# The platform lies below everything else.
up=$(grep -rEn --include='*.cpp' --include='*.h' '^#include "(base|agent|editor|tools)/' platform || true)
if [ -n "$up" ]; then
  echo "FAIL: platform/ includes code above it:"
  echo "$up" | sed 's/^/  /'
  status=1
else
  echo "ok: nothing under platform/ includes base/, agent/, editor/ or tools/"
fi
# The interfaces stand on their own; the WMI engines on the interfaces.
inner=$( (grep -Hn '^#include "' platform/*.cpp platform/*.h | grep -Ev ':#include "platform/[^/"]*"'
  grep -rHn --include='*.cpp' --include='*.h' '^#include "' platform/wmi |
  grep -Ev ':#include "platform/(wmi/)?[^/"]*"') || true)
if [ -n "$inner" ]; then
  echo "FAIL: the platform's interfaces or WMI engines include code beside or above them:"
  echo "$inner" | sed 's/^/  /'
  status=1
else
  echo "ok: the platform's interfaces include only each other, platform/wmi only them and itself"
fi
# The logic reaches the platform's implementations only through the
# interfaces.
hostuse=$(grep -rEn --include='*.cpp' --include='*.h' '^#include "platform/(posix|win32|bridge)/' \
  base agent editor || true)
if [ -n "$hostuse" ]; then
  echo "FAIL: logic includes a platform implementation or the bridge:"
  echo "$hostuse" | sed 's/^/  /'
  status=1
else
  echo "ok: base/, agent/ and editor/ include no platform implementation and not the bridge"
fi
# The editor sits above the foundations, the agent's WMI tests and the
# platform.
editorup=$(grep -rn --include='*.cpp' --include='*.h' '^#include "editor/' base agent platform || true)
editorwide=$(grep -rn --include='*.cpp' --include='*.h' '^#include "agent/' editor |
  grep -Ev '#include "agent/wmitests/' || true)
if [ -n "$editorup$editorwide" ]; then
  echo "FAIL: the editor is out of its layer:"
  printf '%s\n' "$editorup" "$editorwide" | sed '/^$/d; s/^/  /'
  status=1
else
  echo "ok: the editor uses only the foundations and the agent's WMI tests, and nothing below includes it"
fi
exit $status
