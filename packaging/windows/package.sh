#!/usr/bin/env bash
# The two ways a player gets the game on Windows, made from a cross-built
# program (the CMake target package_windows runs this):
#   OUT/qostarfold-windows.zip   qostarfold.exe, its console launcher qostarfold.com,
#                                qostarfold.dat, README.txt, licences/
#   OUT/qostarfold-setup.exe     the installer (installer.nsi)
#
#   package.sh OUT EXE DAT ICON VERSION DEPS
#
# EXE is copied as qostarfold.exe, without its debugging information, and
# the launcher beside it (EXE with .com for .exe) as qostarfold.com. The
# licences are those of what is linked into it: SDL2 and GLEW from their
# sources (DEPS/share/licenses, scripts/win-deps.sh), the mingw-w64 runtime
# with winpthreads, and GCC's runtime (libgcc, libstdc++) with its runtime
# library exception, from Debian's copyright files.
set -euo pipefail
[ $# -eq 6 ] || { sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd) exe=$2 dat=$3 icon=$4 version=$5 deps=$6
here=$(cd "$(dirname "$0")" && pwd)

stage=$out/windows-stage
rm -rf "$stage" && mkdir -p "$stage/licences"
x86_64-w64-mingw32-strip -o "$stage/qostarfold.exe" "$exe"
x86_64-w64-mingw32-strip -o "$stage/qostarfold.com" "${exe%.exe}.com"
cp "$dat" "$stage/qostarfold.dat"
cp "$here/README.txt" "$stage/README.txt"
licence() {
  [ -f "$2" ] || { echo "package.sh: no licence text $2" >&2; exit 1; }
  cp "$2" "$stage/licences/$1.txt"
}
licence SDL2 "$deps/share/licenses/SDL2/LICENSE.txt"
licence GLEW "$deps/share/licenses/GLEW/LICENSE.txt"
licence mingw-w64-runtime /usr/share/doc/mingw-w64-x86-64-dev/copyright
licence gcc-runtime /usr/share/doc/gcc-mingw-w64-base/copyright

# Text files with Windows line ends, for any editor a player opens them in.
for f in "$stage/README.txt" "$stage"/licences/*.txt; do sed -i 's/\r*$/\r/' "$f"; done

zip_file=$out/qostarfold-windows.zip
rm -f "$zip_file"
(cd "$stage" && zip -q -9 -X -r "$zip_file" qostarfold.exe qostarfold.com qostarfold.dat README.txt licences)

setup=$out/qostarfold-setup.exe
makensis -V2 -NOCD -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" -DICON="$icon" \
  "$here/installer.nsi" >"$out/makensis.log" 2>&1 || { cat "$out/makensis.log"; exit 1; }
echo "$zip_file: $(du -k "$zip_file" | cut -f1) KB; $setup: $(du -k "$setup" | cut -f1) KB"
