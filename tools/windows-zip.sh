#!/usr/bin/env bash
# The zip for Windows viewers (./demo windows): build-windows/stream8-windows.zip holds the show with
# its data beside it and a README; nothing to install. Fails when the program needs a DLL that
# Windows does not carry. Needs build-windows/stream8.exe built.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps/common.sh

pack=build-windows/pack
rm -rf "$pack" build-windows/stream8-windows.zip
mkdir -p "$pack/stream8"
cp build-windows/stream8.exe "$pack/stream8/"
cp -r ruvo "$pack/stream8/ruvo"
# The README names the version (CMakeLists.txt's) and the date of the commit it was built from.
version=$(sed -n 's/^project(stream8 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
date=$(git log -1 --format=%cs 2>/dev/null || date +%F)
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$date/" -e 's/$/\r/' data/README-windows.txt \
    >"$pack/stream8/README.txt"
dlls=$(x86_64-w64-mingw32-objdump -p build-windows/stream8.exe | awk '/DLL Name:/ {print tolower($3)}' |
    grep -vxE 'kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|ole32.dll|winmm.dll|ddraw.dll|dsound.dll|dinput.dll|msvcrt.dll|advapi32.dll|shell32.dll' || true)
if [ -n "$dlls" ]; then
    say "stream8.exe needs DLLs the zip does not carry: $dlls"
    exit 1
fi
(cd "$pack" && python3 -m zipfile -c ../stream8-windows.zip stream8)
say "wrote build-windows/stream8-windows.zip ($(du -k build-windows/stream8-windows.zip | cut -f1) kB)"
