# Sourced by scripts and end-to-end tests: starts a private Xvfb server on a
# free display number, exports DISPLAY, and stops the server when the calling
# shell exits.
start_xvfb() {
  local display_file
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 +extension GLX -nolisten tcp -noreset \
    3>"$display_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  local tries=0
  while [ ! -s "$display_file" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  if [ ! -s "$display_file" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(cat "$display_file")"
  rm -f "$display_file"
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
}
