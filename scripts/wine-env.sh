# Sourced by the test and benchmark scripts: a throwaway Wine world for one
# run. Sets up, under a fresh temporary folder, an Xvfb display, the loopback
# test HTTP server and a prefix with a Korean locale, exports what the test
# programs read, and tears everything down when the calling shell exits.
# Expects $root (the source tree). Call wine_env_start, then build, then
# wine_env_prefix.
#
# QUELLFIX_ARCH picks the Windows build the scripts make and run: x86_64 (the
# default: a 64-bit build in a 64-bit prefix, which runs on every x86-64 host,
# including virtual machines that cannot execute 32-bit code) or i686 (the
# 32-bit program in a 32-bit prefix, where the host runs 32-bit code).
. "$root/scripts/arch.sh"

wine_env_cleanup() {
  set +e
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  [ -n "${_qf_server_pid:-}" ] && kill "$_qf_server_pid" 2>/dev/null && wait "$_qf_server_pid" 2>/dev/null
  [ -n "${_qf_xvfb_pid:-}" ] && kill "$_qf_xvfb_pid" 2>/dev/null && wait "$_qf_xvfb_pid" 2>/dev/null
  [ -n "${_qf_work:-}" ] && rm -rf "$_qf_work"
}

wine_env_start() {
  _qf_work=$(mktemp -d /tmp/quellfix-run.XXXXXX)
  trap wine_env_cleanup EXIT
  export LC_ALL=ko_KR.UTF-8 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEPREFIX=$_qf_work/prefix

  # A display of our own, so window tests never touch the user's desktop.
  exec 3>"$_qf_work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  _qf_xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$_qf_work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$_qf_work/display")"

  # The test HTTP server on a free loopback port.
  mkdir -p "$_qf_work/www"
  python3 "$root/tests/fixtures/http_server.py" --root "$_qf_work/www" \
    --port-file "$_qf_work/port" --log "$_qf_work/requests.log" >/dev/null 2>&1 &
  _qf_server_pid=$!
  for _ in $(seq 100); do [ -s "$_qf_work/port" ] && break; sleep 0.1; done
  export QUELLFIX_TEST_HTTP_PORT=$(cat "$_qf_work/port")
  export QUELLFIX_TEST_HTTP_ROOT=$_qf_work/www
  export QUELLFIX_TEST_HTTP_LOG=$_qf_work/requests.log
  export QUELLFIX_TEST_WORK=$_qf_work
}

wine_env_prefix() {
  "$root/scripts/wine-prefix.sh"
  wineserver -p   # one wine server for the whole run
  # Start Wine's background processes (services, desktop) now, detached from
  # ctest's output pipes, or ctest would wait for them to close those pipes.
  wine cmd /c ver </dev/null >/dev/null 2>&1
}
