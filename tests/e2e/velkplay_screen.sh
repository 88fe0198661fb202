# Sourced by velkplay's terminal tests, after they define screen (the pane's
# text) and fail.

# The status line, as "STATE SECONDS".
status() {
  screen | sed -n -E 's/^(playing|paused) +([0-9]+):([0-9]+) \[[#.]+\] +[0-9]+:[0-9]+( .*)?$/\1 \2 \3/p' | tail -n 1 |
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

# write_lyric_file PATH: a lyric file for the demo song: line i ("Lii aa bb
# cc dd") at 2 s x i (the demo song plays 120 beats a minute, a record's
# time counts 1/30 beat), a part every 0.5 s.
write_lyric_file() {
  python3 - "$1" <<'PY'
import struct, sys
lines = [f"  L{i:02d} aa bb cc dd" for i in range(16)]
records = []
for i in range(16):
    for k, (first, count) in enumerate([(2, 6), (9, 2), (12, 2), (15, 2)]):
        records.append(struct.pack("<HBBB", 120 * i + 30 * k, i, first, count))
head = b"IMPlay Song V2.0    " + bytes(10)
credits = b"".join(name.ljust(30, b"\0") for name in [b"Kim", b"", b"", b""])
body = struct.pack("<HH", len(records), len(lines)) + b"".join(records)
text = b"".join(line.encode().ljust(64, b"\0") for line in lines)
open(sys.argv[1], "wb").write(head + credits + body + text)
PY
}
