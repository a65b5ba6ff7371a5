#!/usr/bin/env bash
# Makes a 32-bit Wine prefix for Quellfix at $WINEPREFIX (or refreshes it):
# Korean dialog font mapped to an installed Korean font, no crash dialogs.
# Usage: scripts/wine-prefix.sh [windows-version]   e.g. winxp, win7
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEARCH=${WINEARCH:-win64} WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts: neither is available offline.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
fi

# Wine draws the caption buttons with the glyphs of its Marlett font, which
# this Wine looks for only in the prefix's own Fonts folder: without it they
# come out as letters ("r" for the close button).
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi

reg=$(mktemp --suffix=.reg)
cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Gulim"="NanumGothic"
"GulimChe"="NanumGothicCoding"
"Dotum"="NanumGothic"
"MS Shell Dlg"="NanumGothic"
"MS Shell Dlg 2"="NanumGothic"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
REG
# The Korean name of the dialog font, as regedit reads it (CP949 text).
printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"%s"="NanumGothic"\r\n' \
  "$(printf '굴림' | iconv -f UTF-8 -t CP949)" >>"$reg"
LC_ALL=ko_KR.UTF-8 wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
rm -f "$reg"

if [ $# -ge 1 ]; then
  wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
fi
wineserver -w
