#!/usr/bin/env bash
# Checks the game's Windows packages the way a player meets them, in a wine
# prefix of its own (made fresh, removed afterwards):
#   - the zip holds qostarfold.exe, its console launcher qostarfold.com,
#     qostarfold.dat, README.txt and the licences, and the two programs
#     import none but Windows' own DLLs;
#   - the installer run silently (/S) puts the program in
#     %LOCALAPPDATA%\Programs\QO STARFOLD, its Start-menu shortcut, and its
#     entry under HKCU\...\Uninstall with every value Settings > Apps shows;
#   - with replays given, the installed game checks them, typed in cmd in
#     its folder as a player would ("qostarfold --verify ...", which runs
#     qostarfold.com), the files in the player's Documents;
#   - the uninstaller run by that entry's QuietUninstallString removes the
#     program, the shortcut and the entry, and leaves the saves in
#     %APPDATA%\qostarfold.
#
#   check-packages.sh ZIP SETUP_EXE [REPLAY...]
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: check-packages.sh ZIP SETUP_EXE [REPLAY...]" >&2; exit 2; }
zip_file=$(realpath "$1") setup=$(realpath "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qo-packages.XXXXXX")
export QO_WINEPREFIX=$work/prefix
cleanup() {
  "$here/wine.sh" stop "$QO_WINEPREFIX"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok    $1"; else echo "FAIL  $1"; failures=$((failures + 1)); fi
}

# The zip.
unzip -q "$zip_file" -d "$work/zip"
for f in qostarfold.exe qostarfold.com qostarfold.dat README.txt licences/SDL2.txt licences/GLEW.txt \
  licences/mingw-w64-runtime.txt licences/gcc-runtime.txt; do
  check "zip holds $f" test -s "$work/zip/$f"
done
# Windows' own DLLs, and the ones SDL2 and OpenGL bring with them.
windows_dlls=" advapi32 cfgmgr32 comdlg32 dinput8 dwmapi gdi32 hid imm32 kernel32 msvcrt ole32 "
windows_dlls+=" oleaut32 opengl32 setupapi shcore shell32 user32 uxtheme version winmm ws2_32 xinput1_4 "
for program in qostarfold.exe qostarfold.com; do
  [ -f "$work/zip/$program" ] || continue
  foreign=""
  for dll in $(x86_64-w64-mingw32-objdump -p "$work/zip/$program" | sed -n 's/.*DLL Name: //p'); do
    name=$(echo "${dll%.[dD][lL][lL]}" | tr '[:upper:]' '[:lower:]')
    case $windows_dlls in *" $name "*) ;; *) foreign="$foreign $dll" ;; esac
  done
  check "$program imports only Windows' DLLs${foreign:+ (not:$foreign)}" test -z "$foreign"
done

# The installer, silently, in a fresh prefix.
"$here/wine.sh" init "$QO_WINEPREFIX"
# A fresh prefix has two users' folders: Public and the one who runs wine.
for dir in "$QO_WINEPREFIX"/drive_c/users/*; do
  [ "${dir##*/}" = Public ] || user=${dir##*/}
done
home=$QO_WINEPREFIX/drive_c/users/$user
installdir="$home/AppData/Local/Programs/QO STARFOLD"
shortcut="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/QO STARFOLD.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\com.quillmoth.qostarfold'
wine_in_prefix() { "$here/wine.sh" run "$@"; }
settle() { WINEPREFIX=$QO_WINEPREFIX wineserver -w; }

check "the installer runs silently" wine_in_prefix "$setup" /S
settle
for f in qostarfold.exe qostarfold.com qostarfold.dat README.txt licences/SDL2.txt uninstall.exe; do
  check "installed $f" test -s "$installdir/$f"
done
check "the program installed is the one in the zip" cmp -s "$installdir/qostarfold.exe" "$work/zip/qostarfold.exe"
check "Start-menu shortcut" test -s "$shortcut"
check "the shortcut starts the installed program" \
  grep -q 'Programs\\QO STARFOLD\\qostarfold.exe' <(x86_64-w64-mingw32-strings -el "$shortcut")

# The replays, checked by the installed game as typed in cmd ("qostarfold"
# finds qostarfold.com before qostarfold.exe): one "ok" line each, status 0.
if [ $# -gt 0 ]; then
  mkdir -p "$home/Documents/replays"
  cp "$@" "$home/Documents/replays/"
  names=()
  for f in "$@"; do names+=("C:\\users\\$user\\Documents\\replays\\${f##*/}"); done
  status=0
  out=$(cd "$installdir" && wine_in_prefix cmd /c qostarfold --verify "${names[@]}" 2>&1) || status=$?
  oks=$(echo "$out" | tr -d '\r' | grep -c ': ok$' || true)
  check "the installed qostarfold.com verifies the $# replays ($oks ok, exit $status)" \
    test "$status" = 0 -a "$oks" = $#
fi

entry=$(wine_in_prefix reg query "$key" 2>&1 | tr -d '\r' || true)
value() { echo "$entry" | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
check "uninstall entry: DisplayName" test "$(value DisplayName)" = "QO STARFOLD"
check "uninstall entry: Publisher" test -n "$(value Publisher)"
check "uninstall entry: DisplayVersion" test -n "$(value DisplayVersion)"
check "uninstall entry: DisplayIcon is the program" \
  test "$(value DisplayIcon)" = 'C:\users\'"$user"'\AppData\Local\Programs\QO STARFOLD\qostarfold.exe,0'
check "uninstall entry: UninstallString" test -n "$(value UninstallString)"
check "uninstall entry: EstimatedSize in KB" test "$(($(value EstimatedSize)))" -gt 100
quiet=$(value QuietUninstallString)
check "uninstall entry: QuietUninstallString ends in /S" test "${quiet##* }" = /S

# A player's saves, then the uninstaller as Settings > Apps would run it.
saves=$home/AppData/Roaming/qostarfold
mkdir -p "$saves/replays"
echo "highscores" >"$saves/highscore.dat"
echo "replay" >"$saves/replays/last.qoreplay"
uninstaller=${quiet% /S}
uninstaller=${uninstaller//\"/}
check "the uninstaller runs silently" wine_in_prefix "$uninstaller" /S
settle  # it copies itself away and goes on from there: wait for it
check "program folder removed" test ! -e "$installdir"
check "shortcut removed" test ! -e "$shortcut"
no_entry() { ! wine_in_prefix reg query "$key" >/dev/null 2>&1; }
check "uninstall entry removed" no_entry
check "saves kept" test -s "$saves/highscore.dat" -a -s "$saves/replays/last.qoreplay"

[ "$failures" = 0 ] && echo "packages: all checks passed" || echo "packages: $failures checks failed"
[ "$failures" = 0 ]
