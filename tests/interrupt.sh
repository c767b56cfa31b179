#!/usr/bin/env bash
# Ctrl-C stops a read or a conversion: a child interpreter starts reading
# or converting a large value,
# gets SIGINT while at it, and must take its next command within a second,
# with its variables as they were and the reader still working.  One line
# per case, "CASE: back after S s"; the exit status is 0 when every case
# passes.  `make bench` runs it for the latencies.
#
#   tests/interrupt.sh            every case
#   OCTAVE=... tests/interrupt.sh another interpreter
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
OCTAVE=${OCTAVE:-octave-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/fifo"

# name | what the child sets up (not timed) | the read | seconds to wait
# before SIGINT | what must hold after (by default, the reader reads again).
# Each read takes far longer than the wait when not stopped.
cases=(
  'a text of 300 MB|t = ["\"" repmat("a", 1, 3e8) "\""];|__ledgerscan__ (t, 0, 0, 0)|0.15'
  'an array of 10^7 numbers|t = ["[" repmat("1.5,", 1, 1e7) "1]"];|__ledgerscan__ (t, 0, 0, 0)|0.15'
  'a comment of 300 MB|t = ["/*" repmat("*", 1, 3e8) "*/1"];|ledgerdecode (t, "Comments", true)|0.3'
  'a text of 10^8 escapes|t = ["\"" repmat("\\n", 1, 1e8) "\""];|ledgerdecode (t)|0.2'
  '3*10^8 blank lines|t = repmat("\n", 1, 3e8);|ledgerdecode (t, "Lines", true)|0.3'
  'a pipe that nobody writes|t = 0;|loadledger ("'"$work"'/fifo")|0.3'
  '/proc/self/pagemap|t = 0;|loadledger ("/proc/self/pagemap", "Comments", true)|0.3'
  'ledgerplain of 2*10^6 objects|t = ledgerdecode (["[" repmat("{\"a\":1,\"b\":[2]},", 1, 2e6) "1]"]);|for k = 1:50, ledgerplain (t); end|0.3'
  'ledgertree of a 2*10^6 struct array|t = struct ("a", num2cell (1:2e6), "b", "x");|for k = 1:50, ledgertree (t); end|0.3'
  'ledgerset of a 2*10^6 struct array|t = struct ("a", num2cell (1:2e6), "b", "x");|for k = 1:50, ledgerset ({}, "/-", t); end|0.3'
  'a stream of 3*10^6 records|f = "'"$work"'/lines.jsonl"; fid = fopen (f, "w"); fwrite (fid, repmat ("[1.5,2]\n", 1, 3e6)); fclose (fid); s = ledgerstream (f);|r = read (s, 1e7)|0.3|isequal (read (s, 2), {{1.5; 2}; {1.5; 2}}) && isequal (s.Line, [1; 2])'
)

failed=0
for c in "${cases[@]}"; do
  IFS='|' read -r name setup read delay check <<<"$c"
  check=${check:-'isequal (ledgerdecode ("[1]"), {1})'}
  out=$work/out
  : >"$out"
  cat >"$work/child.m" <<EOF
addpath ("$top/reader", "$top/writer", "$top/convert", "$top/stream", "$top/inst", "$top/tools"); ledger_autoload ("$top");
x = 42;
$setup
fprintf (stdout, "ready\n"); fflush (stdout);
$read; fprintf (stdout, "finished\n"); fflush (stdout);
fprintf (stdout, "back %.6f %d %d\n", time (), x, $check); fflush (stdout);
exit (0);
EOF
  "$OCTAVE" --norc --no-history --quiet --no-window-system \
    <"$work/child.m" >"$out" 2>&1 &
  pid=$!
  for _ in $(seq 600); do
    grep -q '^ready' "$out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep "$delay"
  sent=$(date +%s.%N)
  kill -INT "$pid" 2>/dev/null
  for _ in $(seq 250); do
    grep -q '^back' "$out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  read -r _ back x works < <(grep '^back' "$out")
  if grep -q '^finished' "$out"; then
    printf '%s: the read ended before the interrupt came\n' "$name"
    failed=1
  elif [ -z "${back:-}" ]; then
    printf '%s: not back after 5 s\n' "$name"
    sed 's/^/    /' "$out" | tail -5
    failed=1
  else
    latency=$(awk -v a="$back" -v b="$sent" 'BEGIN { printf "%.3f", a - b }')
    verdict=ok
    if awk -v l="$latency" 'BEGIN { exit !(l > 1) }' || [ "$x" != 42 ] \
       || [ "$works" != 1 ]; then
      verdict=FAILED; failed=1
    fi
    printf '%s: back after %s s (x %s, reads again %s) %s\n' "$name" \
      "$latency" "$x" "$works" "$verdict"
  fi
  back=
done
exit $failed
