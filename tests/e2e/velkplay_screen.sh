# Sourced by velkplay's terminal tests, after they define screen (the pane's
# text) and fail.

# The status line, as "STATE SECONDS".
status() {
  screen | sed -n -E 's/^(playing|paused) +([0-9]+):([0-9]+) \[[#.]+\] +[0-9]+:[0-9]+ *$/\1 \2 \3/p' | tail -n 1 |
    awk '{ print $1, $2 * 60 + $3 }'
}

# wait_for SECONDS DESCRIPTION COMMAND...: until the command succeeds.
wait_for() {
  local limit=$1 what=$2
  shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $end ] || fail "no $what within $limit s"
    sleep 0.05
  done
}
