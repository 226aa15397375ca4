# An OpenGL that cannot run the program (too old a version, no GLSL, an
# indirect display) is named in one line, in an alert, the log and on
# standard error, and the program ends with its own status instead of
# crashing through a missing entry point; tessaline-batch --gpu says the
# same in its one line. Mesa's overrides stand in for such displays.
source "$(dirname "$0")/lib.sh"
LACKS="this display's OpenGL lacks what tessaline needs : "

# Runs the program with the environment settings given as arguments,
# expects the alert, closes it with Enter and checks the line and status.
expect_refused_start() {
  local expected=$1
  shift
  rm -f tessaline.log
  env "$@" "$TESSALINE" >"$WORK/console.txt" 2>"$WORK/stderr.txt" &
  APP_PID=$!
  local alert
  alert=$(timeout 30 xdotool search --sync --onlyvisible --name '^tessaline : OpenGL$' | head -n 1) ||
    fail "$*: no alert"
  xdotool windowfocus --sync "$alert"
  xdotool key Return
  local deadline=$((SECONDS + 20))
  while kill -0 "$APP_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "$*: the program is still running after the alert"
    sleep 0.2
  done
  wait_app
  [ "$APP_STATUS" -ne 0 ] || fail "$*: ended with status 0"
  [ "$APP_STATUS" -lt 128 ] || fail "$*: ended by a signal (status $APP_STATUS)"
  expect_line "$LACKS$expected" tessaline.log
  case $expected in
  "OpenGL 2.0"*) expect_line "ERROR: Support for necessary OpenGL extensions missing." tessaline.log ;;
  esac
  expect_line "$LACKS$expected" console.txt
  ! ls core* >/dev/null 2>&1 || fail "$*: left a core file"
}

expect_refused_start "OpenGL 2.0 (found 1.4)" MESA_GL_VERSION_OVERRIDE=1.4
expect_refused_start "GLSL 1.10 (found none)" \
  MESA_GL_VERSION_OVERRIDE=2.0 MESA_GLSL_VERSION_OVERRIDE=100
# This Xvfb offers no indirect GLX: the context has no version at all.
expect_refused_start "OpenGL 2.0 (found none), GLSL 1.10 (found none)" LIBGL_ALWAYS_INDIRECT=1

# The batch program's hidden context is checked the same way.
mkdir tiles
for i in 0 1 2; do convert -size 40x30 "xc:#${i}0${i}0${i}0" "tiles/t$i.png"; done
convert -size 64x36 xc:orange target.png
MESA_GL_VERSION_OVERRIDE=1.4 run --tiles tiles --target target.png --out m.png --gpu \
  --tile 16x9 --size 160x90
expect_status 1 "batch"
expect_line "tessaline-batch: --gpu : ${LACKS}OpenGL 2.0 (found 1.4)" err.txt
[ ! -e m.png ] || fail "batch: wrote a picture without a usable OpenGL"

# The same display without the overrides runs the program.
rm -f tessaline.log
start_app
wait_for_line "GLEW OK"
! grep -q "$LACKS\|extensions missing" tessaline.log || fail "a full OpenGL was refused"
echo PASS
