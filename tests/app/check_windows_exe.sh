#!/usr/bin/env bash
# Checks what Windows sees of Quillwick.exe before it runs a line of it: a 64-bit GUI-subsystem
# program entered through Qt's WinMain, whose resources hold the icon group IDI_ICON1 with six
# 32-bit images, exactly one application manifest asking for "asInvoker", and the version block.
# Usage: check_windows_exe.sh <Quillwick.exe>. Needs binutils-mingw-w64-x86-64 and icoutils.
set -uo pipefail

exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

has_line() { grep -Eq -- "$1" "$2"; }
lacks_line() { ! grep -Eq -- "$1" "$2"; }
count_is() { [ "$(grep -Ec -- "$2" "$3")" -eq "$1" ]; }

"$objdump" -p "$exe" >"$work/headers" || { echo "FAIL: $exe is not a PE file"; exit 1; }
wrestool -l "$exe" >"$work/resources" 2>&1

check "64-bit PE" has_line 'file format pei-x86-64' "$work/headers"
check "Windows GUI subsystem" has_line '^Subsystem[[:space:]]+00000002' "$work/headers"
# Qt's entry-point library supplies WinMain, which rebuilds argv from the wide command line.
check "Qt's entry point (WinMain through CommandLineToArgvW)" \
    has_line '[[:space:]]CommandLineToArgvW$' "$work/headers"

check "one icon group, named IDI_ICON1" count_is 1 "--type=14 " "$work/resources"
check "the icon group is IDI_ICON1" has_line "--type=14 --name='IDI_ICON1' " "$work/resources"
wrestool -x --type=14 --name=IDI_ICON1 -o "$work/icon.ico" "$exe" 2>/dev/null
icotool -l "$work/icon.ico" >"$work/icon" 2>&1
check "six icon images" count_is 6 '^--icon' "$work/icon"
for size in 16 32 48 64 128 256; do
    check "icon ${size}x${size}, 32 bits" \
        has_line "--width=$size --height=$size --bit-depth=32 " "$work/icon"
done

# Exactly one RT_MANIFEST: a second one from the toolchain would make Windows pick either.
check "exactly one manifest" count_is 1 "--type=24 " "$work/resources"
check "the manifest is resource 1" has_line "--type=24 --name=1 " "$work/resources"
wrestool -x --raw --type=24 --name=1 "$exe" >"$work/manifest" 2>/dev/null
check "manifest asks for asInvoker without uiAccess" \
    has_line '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "$work/manifest"
check "manifest sets no code page of its own" \
    lacks_line '<activeCodePage' "$work/manifest"

check "one version block" count_is 1 "--type=16 " "$work/resources"
wrestool -x --raw --type=16 "$exe" >"$work/version.bin" 2>/dev/null
# VS_FIXEDFILEINFO: signature, structure version, file version 2.0.0.0, product version 2.0.0.0.
od -An -v -tx4 "$work/version.bin" | tr -s ' \n' ' ' >"$work/version.words"
check "fixed file and product version 2.0.0.0" \
    has_line 'feef04bd 00010000 00020000 00000000 00020000 00000000' "$work/version.words"
# The strings are UTF-16: without the zero bytes a key runs straight into its value.
tr -d '\000' <"$work/version.bin" >"$work/version.txt"
for pair in ProductNameQuillwick 'ProductVersion2\.0([^.]|$)' 'FileVersion2\.0\.0\.0' CompanyNameMarrowvale \
    'OriginalFilenameQuillwick\.exe' 'FileDescription[[:print:]]+' 'LegalCopyright[[:print:]]+'; do
    check "version string $pair" has_line "$pair" "$work/version.txt"
done

if ((failures)); then
    echo "$failures check(s) failed for $exe"
    exit 1
fi
echo "all checks passed for $exe"
