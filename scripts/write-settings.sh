#!/usr/bin/env bash
# Writes the install defaults into a settings file, through twsetting (so
# under the settings file's lock, as every writer of it must):
#   write-settings.sh FILE TWDISPLAY [TIMER]
# TWSETTING names the twsetting program (default: the default build's).
set -euo pipefail
file=$1 display=$2 timer=${3:-300}
twsetting=${TWSETTING:-$(dirname "$0")/../build/default/twsetting}
mkdir -p "$(dirname "$file")"
"$twsetting" --file "$file" \
  "TWDISPLAY=$display" "TWPAGE=$display" IPport=1984 FQDN=N \
  CPUrebootcolor=Yellow CPUrebootmins=60 CPUupdayscolor=Yellow CPUupdays=999 \
  Activatelog=Y SendPageAlerts=Y "Defaults=CPU:80:95 DISK:90:95 PAGEFILE:80:90" \
  "MemLevels=PHYS:95:98 COMMIT:80:90" StartDelay=0 "Timer=$timer" PluginTimer=60 \
  "MsgLevels=SYS:ERR:Y:30 SYS:WARN:N:15 APP:ERR:Y:30 APP:WARN:N:15" "PageLevels=red purple " \
  "Tests=procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D"
