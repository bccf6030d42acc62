#!/usr/bin/env bash
# Checks the Windows programs of a build: each is a PE program for the
# expected processor, imports the Windows libraries its work needs, and no
# other library than Windows' own (everything else is linked in, so that each
# .exe runs alone on a machine with nothing of ours installed).
#
#   scripts/check-windows-programs.sh BUILD_DIR i386|x86-64
# Prints a PASS or FAIL line a program and fails when one failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/checks.sh"
build=${1:?usage: check-windows-programs.sh BUILD_DIR i386|x86-64}
arch=${2:?usage: check-windows-programs.sh BUILD_DIR i386|x86-64}
case $arch in
  i386) format=pei-i386 objdump=i686-w64-mingw32-objdump ;;
  x86-64) format=pei-x86-64 objdump=x86_64-w64-mingw32-objdump ;;
  *) echo "check-windows-programs: unknown processor $arch"; exit 2 ;;
esac

# Windows' own libraries, and what each program cannot do without.
system="KERNEL32 ADVAPI32 WS2_32 OLE32 OLEAUT32 MSVCRT USER32 SHELL32 GDI32 COMCTL32 COMDLG32 OLEACC
  CRYPT32 BCRYPT IPHLPAPI PSAPI NETAPI32 PDH VERSION WTSAPI32 SECUR32 RPCRT4 SHLWAPI UXTHEME WINMM"
system=$(echo $system)
declare -A needs=(
  [twnt.exe]="KERNEL32 ADVAPI32 WS2_32 OLE32 OLEAUT32"
  [twntcfg.exe]="KERNEL32 ADVAPI32 USER32 COMCTL32 COMDLG32 OLEACC OLE32"
  [twrecv.exe]="KERNEL32 WS2_32"
  [twnt-5.01-setup.exe]="KERNEL32 ADVAPI32 USER32"
)

for exe in twnt.exe twntcfg.exe twrecv.exe twnt-5.01-setup.exe; do
  f=$build/$exe
  if [ ! -f "$f" ]; then
    fail "$exe: not built in $build"
    continue
  fi
  got_format=$($objdump -f "$f" 2>&1 | sed -n 's/.*file format \([^ ]*\).*/\1/p')
  imports=$($objdump -p "$f" 2>&1 | sed -n 's/^\tDLL Name: \(.*\)\.[dD][lL][lL]$/\1/p' |
    tr '[:lower:]' '[:upper:]' | sort -u | tr '\n' ' ')
  problems=""
  [ "$got_format" = "$format" ] || problems+=" format $got_format, not $format;"
  for dll in ${needs[$exe]}; do
    [[ " $imports " == *" $dll "* ]] || problems+=" does not import $dll;"
  done
  # The installer's stub is NSIS's own; its plug-ins load what they need.
  if [ "$exe" != twnt-5.01-setup.exe ]; then
    for dll in $imports; do
      [[ " $system " == *" $dll "* ]] || problems+=" imports $dll, not a library of Windows;"
    done
  fi
  if [ -z "$problems" ]; then
    pass "$exe: $format, imports $imports"
  else
    fail "$exe:$problems" "imports: $imports"
  fi
done
summary check-windows-programs
