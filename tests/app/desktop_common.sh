# Sourced by the desktop end-to-end scripts, after they have set their arguments.

# under_xvfb SCREEN "$0" "$@": runs the calling script again, once, under a virtual X
# server with a screen of SCREEN (WIDTHxHEIGHTxDEPTH); exit 77 (skipped) where xvfb-run
# or xdotool is missing. Returns inside the second run, with a state folder of the
# script's own, so that the user's recovered projects stay out of it.
under_xvfb() {
  screen=$1
  shift
  if [ -z "${ZYMRA_E2E_INNER:-}" ]; then
    command -v xvfb-run >/dev/null 2>&1 || exit 77
    command -v xdotool >/dev/null 2>&1 || exit 77
    ZYMRA_E2E_INNER=1 exec xvfb-run -a -s "-screen 0 $screen" "$@"
  fi
  XDG_STATE_HOME=$(mktemp -d)
  export XDG_STATE_HOME
}
