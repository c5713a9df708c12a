#!/usr/bin/env bash
# Fails when an executable imports at load time any DLL but kernel32 and msvcrt: every
# other system DLL must be delay-loaded (see cmake/SystemLibraries.cmake).
#   tools/check-imports.sh FILE.exe...
set -euo pipefail
status=0
for exe in "$@"; do
  imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  unexpected=$(grep -v -x -e kernel32.dll -e msvcrt.dll <<<"$imports" || true)
  if [ -n "$unexpected" ]; then
    echo "$exe imports at load time: $(echo $unexpected)" >&2
    status=1
  fi
done
exit $status
