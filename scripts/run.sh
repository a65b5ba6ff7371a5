#!/usr/bin/env bash
# Builds Quellfix and runs it under Wine on its built-in defaults, in a Wine
# prefix of its own set to Windows XP with a Korean locale. With a display
# the window opens there; without one it runs under Xvfb, saves screenshots
# to build/screenshots/ and closes the window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=$root/build

cmake --preset mingw -S "$root" -DQUELLFIX_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target Quellfix qfdriver

export LC_ALL=ko_KR.UTF-8 WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$build/wineprefix
app=$build/app
shots=$build/screenshots
mkdir -p "$app" "$shots"
cp "$build/Quellfix.exe" "$app/"

xvfb_pid=
cleanup() {
  set +e
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  exec 3>"$build/.display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$build/.display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$build/.display")"
fi

"$root/scripts/wine-prefix.sh" winxp
if [ "$headless" = 1 ]; then
  # A Wine desktop of its own draws the window frames for the screenshots.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
else
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
fi
wineserver -w   # the desktop setting takes effect with the next wine server

driver() { wine "$build/tools/qfdriver.exe" "$@"; }
shot() { import -display "$DISPLAY" -window root -crop 1024x768+0+0 +repage "$shots/$1.png" && echo "screenshot: $shots/$1.png"; }

wine "$app/Quellfix.exe" &
app_pid=$!
if [ "$headless" = 1 ]; then
  if driver wait-window "Quellfix 2.0" 60000; then
    sleep 2   # let the window finish painting before the picture is taken
    shot main
    driver close "Quellfix 2.0"
  else
    echo "Quellfix's main window did not appear" >&2
  fi
fi
wait "$app_pid"
echo "Quellfix ended."
