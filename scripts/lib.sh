# Shared by scripts/test and scripts/demo: sourced, not run.

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Starts a virtual X server when no display is set; it is stopped when the script exits.
ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
  local tries=0
  until [ -e "/tmp/.X11-unix/X$n" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
      echo "could not start Xvfb on :$n" >&2
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$n"
}

configure_and_build() {
  local preset=$1
  echo "== build $preset"
  cmake --preset "$preset" >"$repo/build/$preset-configure.log" 2>&1 || {
    tail -40 "$repo/build/$preset-configure.log"
    return 1
  }
  cmake --build --preset "$preset" >"$repo/build/$preset-build.log" 2>&1 || {
    grep -E -B2 -A6 'error|FAILED' "$repo/build/$preset-build.log" | head -80
    return 1
  }
}

# Ends the Wine session of a prefix: its services would keep our output pipes open.
stop_wine() {
  WINEPREFIX="$1" /usr/lib/wine/wineserver -k 2>/dev/null || true
}
