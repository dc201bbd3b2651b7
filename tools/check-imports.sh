#!/usr/bin/env bash
# Fails when a Windows executable imports a DLL that Windows does not always
# load from its system directory.
#
# The loader looks for an imported DLL next to the executable first, unless
# the DLL is one of Windows' "known DLLs". The launcher is started from the
# player's Downloads folder, where a web page may have saved a DLL of any
# name, so every other system library is reached through delay-load thunks
# whose helper loads from the system directory only (src/CMakeLists.txt,
# src/base/system_libraries_win.cpp) and must not show up here. A DLL that
# is not part of Windows at all fails too: Wine ships its own zlib1.dll and
# friends, so a missing DLL would go unseen under Wine and only fail on a
# player's machine.
set -euo pipefail

# The known DLLs of Windows 10 and 11 (the KnownDLLs key of the session
# manager), as far as a program imports them, and the loader's own.
known='kernel32|ntdll|advapi32|user32|gdi32|gdiplus|shell32|shlwapi|shcore|ole32|oleaut32|combase|comdlg32|imm32|msctf|msvcrt|normaliz|nsi|psapi|rpcrt4|sechost|setupapi|wldap32|ws2_32|imagehlp|clbcatq|coml2'
# comctl32: the manifest binds it to the side-by-side assembly (version 6),
# which the loader takes from the system's assembly store. api-ms-win-*:
# API sets, resolved by the loader, never looked up as files.
allowed="^(${known}|comctl32|api-ms-win-crt-[a-z0-9-]+)\\.dll\$"

[ $# -gt 0 ] || { echo "usage: $0 EXE..." >&2; exit 2; }
status=0
for exe in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  [ -n "$dlls" ] || { echo "FAIL $exe: no import table found"; status=1; continue; }
  bad=$(echo "$dlls" | grep -vE "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "FAIL $(basename "$exe") imports: $(echo $bad) (not known DLLs: delay-load them, src/CMakeLists.txt)"
    status=1
  else
    echo "ok   $(basename "$exe"): $(echo $dlls)"
  fi
done
exit $status
