#!/usr/bin/env bash
# The built setup.exe as Windows sees it: a 32-bit console program that loads nothing but
# KERNEL32.dll and msvcrt.dll, ASLR and DEP on, its version, a manifest asking for no elevation,
# within its size budget.
#   check_setup_exe.sh OBJDUMP WINDRES SETUP_EXE EXPECTED_VERSION
set -uo pipefail
objdump=$1 windres=$2 exe=$3 version=$4
# shellcheck source=tests/check.sh
. "$(dirname "$0")/../check.sh"

if ! headers=$("$objdump" -p "$exe"); then
  echo "FAILED: objdump cannot read $exe"
  exit 1
fi
resources=$("$windres" -i "$exe" -O rc 2>/dev/null)

check "32-bit PE image" grep -q 'file format pei-i386' <<<"$headers"
check "console subsystem" grep -Eq '^Subsystem[[:space:]]+00000003' <<<"$headers"

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort | tr '\n' ' ')
check "imports only KERNEL32.dll and msvcrt.dll (has: $imports)" test "$imports" = \
  "KERNEL32.dll msvcrt.dll "

characteristics=$(sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$headers")
characteristics=$((16#$characteristics))
check "ASLR (dynamic base)" test $((characteristics & 0x40)) -ne 0
check "DEP (NX compatible)" test $((characteristics & 0x100)) -ne 0
check "relocations kept for ASLR" grep -q '\.reloc' <<<"$("$objdump" -h "$exe")"

v=${version//./, }
check "file version $version" grep -q "FILEVERSION $v, 0" <<<"$resources"
check "product version $version" grep -q "PRODUCTVERSION $v, 0" <<<"$resources"
check "version strings" grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$resources"
check "product name" grep -q 'VALUE "ProductName", "' <<<"$resources"
check "file description" grep -q 'VALUE "FileDescription", "' <<<"$resources"
check "manifest asks for no elevation" grep -q 'requestedExecutionLevel level=""asInvoker""' \
  <<<"$resources"
check "manifest names Windows 7 to 11" test "$(grep -c 'supportedOS Id=' <<<"$resources")" -eq 4

size=$(stat -c %s "$exe")
check "size $size bytes, under 48 KiB" test "$size" -lt 49152

summary "setup.exe binary"
