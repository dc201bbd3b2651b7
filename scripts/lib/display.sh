# Sourced by the scripts that run Wine: brings an X display when there is none.

# Starts Xvfb on a free display and exports DISPLAY; sets xvfb_pid (empty
# when a display was already there). Stop it after Wine. Xvfb picks the
# number itself and says it once it takes connections. Looking for a free
# number first let two scripts started in the same second both pick it: the
# second's Xvfb failed, and its Wine ran on the first one's display, which
# goes when the first script ends.
tov_ensure_display() {
  xvfb_pid=
  [ -n "${DISPLAY:-}" ] && return 0
  local said _
  said=$(mktemp "${TMPDIR:-/tmp}/xvfb-display.XXXXXX")
  Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$said" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$said" ] && break; sleep 0.1; done
  export DISPLAY=":$(tr -dc 0-9 <"$said")"
  rm -f "$said"
  [ "$DISPLAY" != ":" ] || { echo "Xvfb did not start" >&2; return 1; }
}

tov_stop_display() {
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    # A later tov_ensure_display in this shell must not take the dead one.
    unset DISPLAY
    xvfb_pid=
  fi
  return 0
}
