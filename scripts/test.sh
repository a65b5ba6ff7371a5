#!/usr/bin/env bash
# Builds Quellfix and its tests and runs every suite under Wine, in a
# throwaway 32-bit prefix with a Korean locale, an Xvfb display and the
# loopback test HTTP server. Arguments go to ctest (e.g. -R catalog).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"

build=${QUELLFIX_TEST_BUILD:-$root/build-tests}
work=$(mktemp -d /tmp/quellfix-test.XXXXXX)
xvfb_pid= server_pid=
cleanup() {
  set +e
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

export LC_ALL=ko_KR.UTF-8 WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$work/prefix

# A display of our own, so window tests never touch the user's desktop.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# The test HTTP server on a free loopback port; the tests build with its address.
mkdir -p "$work/www"
python3 "$root/tests/fixtures/http_server.py" --root "$work/www" --port-file "$work/port" \
  --log "$work/requests.log" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
export QUELLFIX_TEST_HTTP_PORT=$port QUELLFIX_TEST_HTTP_ROOT=$work/www
export QUELLFIX_TEST_HTTP_LOG=$work/requests.log

cmake -S "$root" -B "$build" --toolchain "$root/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUELLFIX_TESTS=ON \
  -DQUELLFIX_UPDATE_SERVER="http://127.0.0.1:$port/" >/dev/null
cmake --build "$build" -j"$(nproc)"

"$root/scripts/wine-prefix.sh"
wineserver -p   # keep one wine server for the whole run
# Start Wine's background processes (services, desktop) now, detached from
# ctest's output pipes, or ctest would wait for them to close those pipes.
wine cmd /c ver </dev/null >/dev/null 2>&1

ctest --test-dir "$build" --output-on-failure "$@"
