#!/usr/bin/env bash
# The main job on built-in defaults: builds Quellfix, starts the bundled
# demo update server on 127.0.0.1:47100, prepares a Wine prefix set to
# Windows XP with a Korean locale (some updates already recorded as
# installed) and starts Quellfix.exe against it.
#
# With a display the window opens there for you to use. Without one the demo
# runs on a virtual display and drives itself like a user: it shows the list,
# runs the checked updates, closes the run window and shows the list again,
# saving a screenshot of each step in build-x86_64/screenshots/.
#
# It builds into a folder of the architecture it runs (build-x86_64, or
# build-i686 with QUELLFIX_ARCH=i686), never build/: that one is the release
# build of the 32-bit program (cmake --preset mingw).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
. "$root/scripts/arch.sh"
build=$root/build-$QUELLFIX_ARCH

cmake -S "$root" -B "$build" --toolchain "$QUELLFIX_TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
  -DQUELLFIX_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

export LC_ALL=ko_KR.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$build/wineprefix-$WINEARCH
app=$build/app
shots=$build/screenshots
mkdir -p "$app" "$shots"
cp "$build/Quellfix.exe" "$app/"
rm -rf "$app/UPDATES" "$app/quellfix.ini" "$app/quellfix.ini.new"

xvfb_pid=
cleanup() {
  set +e
  wineserver -k >/dev/null 2>&1
  [ -s "$build/demo-server.pid" ] && kill "$(cat "$build/demo-server.pid")" 2>/dev/null
  rm -f "$build/demo-server.pid" "$build/demo-server.port"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

# The demo update server; the program is built to ask 127.0.0.1:47100.
rm -f "$build/demo-server.pid" "$build/demo-server.port"
python3 "$root/server/demo_server.py" --root "$build/server-root" --port 47100 \
  --port-file "$build/demo-server.port" --pid-file "$build/demo-server.pid" --log - &
for _ in $(seq 100); do [ -s "$build/demo-server.port" ] && break; sleep 0.1; done
[ -s "$build/demo-server.port" ] || { echo "the demo server did not start (port 47100 busy?)" >&2; exit 1; }
echo "demo update server on http://127.0.0.1:47100/"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  exec 3>"$build/.display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
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

# Start from the demo's records: forget what an earlier demo installed, then
# record the updates the demo system already has.
reset=$build/demo-reset.reg
{
  printf 'REGEDIT4\r\n\r\n'
  grep -v '^#' "$root/server/demo/installers.txt" | while read -r kb _; do
    [ -n "$kb" ] && printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s]\r\n' "$kb"
  done
} >"$reset"
wine regedit /S "Z:${reset//\//\\}" >/dev/null 2>&1
installed=$root/server/demo/installed.reg
wine regedit /S "Z:${installed//\//\\}" >/dev/null 2>&1
wineserver -w   # the desktop setting takes effect with the next wine server

driver() { wine "$build/tools/qfdriver.exe" "$@"; }
shot() { import -display "$DISPLAY" -window root "$shots/$1.png" && echo "screenshot: $shots/$1.png"; }
main="Quellfix 2.0"
run="업데이트 중..."

wine "$app/Quellfix.exe" &
app_pid=$!
if [ "$headless" = 1 ]; then
  if driver wait-window "$main" 60000 && driver wait-rows "$main" 1 60000; then
    sleep 1   # let the window finish painting before the picture is taken
    shot 1-main-window
    driver click "$main" 1004                      # 업데이트 시작
    driver wait-window "$run" 60000
    driver wait-text "$run" 2 "닫기" 300000 || echo "the run did not finish in time" >&2
    sleep 1
    shot 2-run-window
    driver click "$run" 2                          # 닫기
    # The list is evaluated again; installed updates are hidden, so show them.
    # With every listed update installed the program asks whether to quit:
    # answer No (7) and stay, to look at the list.
    driver press "Quellfix 2.0 - http://127.0.0.1:47100/" 7 10000 || true
    driver click "$main" 1005                      # 설치된 업데이트 표시
    driver wait-rows "$main" 1 30000 || true
    sleep 1
    shot 3-after-run
    driver close "$main"
  else
    echo "Quellfix's main window did not fill its list" >&2
  fi
fi
wait "$app_pid" || true
echo "Quellfix ended."
