#!/usr/bin/env bash
# Writes a settings file with the install defaults: write-settings.sh FILE TWDISPLAY [TIMER]
set -euo pipefail
file=$1 display=$2 timer=${3:-300}
key='HKEY_LOCAL_MACHINE\SOFTWARE\Orvane Software\Tallwatch\twnt'
mkdir -p "$(dirname "$file")"
{
  echo "Windows Registry Editor Version 5.00"
  while IFS='=' read -r name value; do
    printf '\n[%s\\%s]\n@="%s"\n' "$key" "$name" "$value"
  done <<SETTINGS
TWDISPLAY=$display
TWPAGE=$display
IPport=1984
FQDN=N
CPUrebootcolor=Yellow
CPUrebootmins=60
CPUupdayscolor=Yellow
CPUupdays=999
Activatelog=Y
SendPageAlerts=Y
Defaults=CPU:80:95 DISK:90:95 PAGEFILE:80:90
MemLevels=PHYS:95:98 COMMIT:80:90
StartDelay=0
Timer=$timer
PluginTimer=60
MsgLevels=SYS:ERR:Y:30 SYS:WARN:N:15 APP:ERR:Y:30 APP:WARN:N:15
PageLevels=red purple 
Tests=procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D
SETTINGS
} >"$file"
chmod 600 "$file"
