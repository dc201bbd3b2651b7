#!/usr/bin/env bash
# Fails when a Windows executable imports a DLL that is not part of Windows.
# Wine ships its own zlib1.dll and friends, so a missing DLL would go unseen
# under Wine and only fail on a player's machine.
set -euo pipefail

allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|ws2_32|wsock32|crypt32|wininet|urlmon|shlwapi|iphlpapi|gdiplus|msvcrt|bcrypt|secur32|normaliz|wldap32|uxtheme|version|ntdll|imm32|winmm|rpcrt4|psapi|userenv|dnsapi|mswsock|msimg32|propsys|dwmapi|api-ms-win-crt-[a-z0-9-]+)\.dll$'

[ $# -gt 0 ] || { echo "usage: $0 EXE..." >&2; exit 2; }
status=0
for exe in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  [ -n "$dlls" ] || { echo "FAIL $exe: no import table found"; status=1; continue; }
  bad=$(echo "$dlls" | grep -vE "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "FAIL $(basename "$exe") imports: $(echo $bad)"
    status=1
  else
    echo "ok   $(basename "$exe"): $(echo $dlls)"
  fi
done
exit $status
