#!/usr/bin/env bash
# Writing under faults that no call can make or catch, each in a child
# interpreter:
#   - a file-size limit cuts the new text short: the file keeps its old text,
#     also when records are appended to it;
#   - a memory limit: the failure says so, and no file is touched;
#   - the writer module is missing: the interpreter names it;
#   - Ctrl-C (SIGINT) while a large value is written: the call stops within a
#     second, no file is touched and the interpreter goes on working;
#   - SIGKILL at 20 random moments of saveledger writing a large tree: the
#     file is always its old text or a whole new one, and no new file is
#     left but the killed call's own.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
OCTAVE=${OCTAVE:-octave-cli}
tmp=$(mktemp -d)
child=
cleanup() {
  [ -n "$child" ] && kill -9 "$child" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

setup="addpath ('$top/reader', '$top/writer', '$top/inst', '$top/tools');
       ledger_autoload ('$top');"
opts="--no-gui --norc --no-history --quiet --no-window-system"
# The new files that saveledger leaves in a folder.
leftovers() { find "$1" -name '*.saveledger-*' | wc -l; }

## A limit on the size of files: the text cannot be written whole.
f=$tmp/limited.json
printf 'old content' >"$f"
msg=$( (trap '' XFSZ; ulimit -f 64; "$OCTAVE" $opts --eval "$setup
         disp (saveledger (num2cell (1:1e5), '$f'))") 2>&1)
case "$msg" in
  *"saveledger: unable to write the file '$f' (File too large)."*) ;;
  *) fail "file-size limit: $msg" ;;
esac
[ "$(cat "$f")" = "old content" ] || fail "file-size limit: the old text was changed"
[ "$(leftovers "$tmp")" = 0 ] || fail "file-size limit: a new file was left"

## Appending past the file-size limit: the records are cut short on the
## disk, and the file is cut back to its old text; plain and gzip alike.
for g in "$tmp/append.jsonl" "$tmp/append.jsonl.gz"; do
  printf '' >"$g"
  "$OCTAVE" $opts --eval "$setup saveledger ({1; 2}, '$g', 'Lines', true)" || fail "append: setup"
  cp "$g" "$tmp/before"
  msg=$( (trap '' XFSZ; ulimit -f 64; "$OCTAVE" $opts --eval "$setup
           x = num2cell (rand (1e5, 1));
           disp (saveledger (x, '$g', 'Lines', true, 'Append', true))") 2>&1)
  case "$msg" in
    *"saveledger: unable to write the file '$g' (File too large)."*) ;;
    *) fail "append under a file-size limit: $msg" ;;
  esac
  cmp -s "$g" "$tmp/before" || fail "append under a file-size limit: $g was changed"
done

## A memory limit the text cannot fit in (its room is asked for first).
printf 'old content' >"$f"
msg=$( (ulimit -v 4000000; "$OCTAVE" $opts --eval "$setup
         try
           saveledger (sparse (1e5, 1e5), '$f');
         catch err
           printf ('%s: %s\n', err.identifier, err.message);
         end_try_catch") 2>&1)
case "$msg" in
  *"Octave:bad-alloc: saveledger: out of memory for the JSON text of the tree."*) ;;
  *) fail "memory limit: $msg" ;;
esac
[ "$(cat "$f")" = "old content" ] || fail "memory limit: the old text was changed"

## The functions without their module: the interpreter names what is
## missing.
msg=$("$OCTAVE" $opts --eval "addpath ('$top/inst');
         for f = {@() ledgerencode(1), @() saveledger (1, '$f')}
           try
             f{1} ();
           catch err
             printf ('%s: %s\n', err.identifier, err.message);
           end_try_catch
         endfor" 2>&1)
for entry in __ledgertext__ __ledgersave__; do
  case "$msg" in
    *"Octave:undefined-function: '$entry' undefined"*) ;;
    *) fail "no module: $msg" ;;
  esac
done

## Ctrl-C: each call writes a value that takes tens of seconds.
fifo=$tmp/commands
out=$tmp/out
mkfifo "$fifo"
"$OCTAVE" $opts <"$fifo" >"$out" 2>&1 &
child=$!
exec 3>"$fifo"
echo "$setup big = sparse (1e4, 1e4); f = '$tmp/kept.json';
      saveledger ('old', f); disp ('ready')" >&3
for i in $(seq 500); do
  grep -q ready "$out" && break
  sleep 0.02
done
for call in "saveledger (big, f)" "ledgerencode (big)" \
            "__ledgeremit__ (big, f, false, false)" \
            "saveledger ({big}, f, 'Lines', true)"; do
  alive=$(grep -c alive "$out")
  echo "$call; disp ('finished')" >&3
  echo "disp ('alive')" >&3
  sleep 0.5
  start=$(date +%s%N)
  kill -INT "$child"
  for i in $(seq 100); do
    [ "$(grep -c alive "$out")" -gt "$alive" ] && break
    sleep 0.02
  done
  stop=$(date +%s%N)
  [ "$(grep -c alive "$out")" -gt "$alive" ] \
    || fail "Ctrl-C: $call did not stop: $(cat "$out")"
  grep -q finished "$out" && fail "Ctrl-C: $call was not interrupted"
  ms=$(( (stop - start) / 1000000 ))
  [ "$ms" -lt 1000 ] || fail "Ctrl-C: $call stopped after $ms ms"
  echo "Ctrl-C: $call stopped after $ms ms"
  [ "$(cat "$tmp/kept.json")" = '"old"' ] || fail "Ctrl-C: $call changed the file"
  [ "$(leftovers "$tmp")" = 0 ] || fail "Ctrl-C: $call left a new file"
done
echo "exit" >&3
exec 3>&-
wait "$child"
child=

## SIGKILL at random moments.  The child writes two texts in turn.
f=$tmp/target.json
printf 'old content' >"$f"
texts="a = num2cell (1:2e5); b = {'b', num2cell((1:1e5) / 7)};"
"$OCTAVE" $opts --eval "$setup $texts
  fid = fopen ('$tmp/a.json', 'w'); fwrite (fid, ledgerencode (a)); fclose (fid);
  fid = fopen ('$tmp/b.json', 'w'); fwrite (fid, ledgerencode (b)); fclose (fid);" \
  || fail "could not make the texts"
seen=
for kill in $(seq 20); do
  "$OCTAVE" $opts --eval "$setup $texts
    while (true)
      saveledger (a, '$f'); saveledger (b, '$f');
    endwhile" >/dev/null 2>&1 &
  child=$!
  sleep "0.$(( 120 + RANDOM % 200 ))"
  kill -9 "$child"
  wait "$child" 2>/dev/null
  child=
  if cmp -s "$f" "$tmp/a.json"; then seen="$seen a"
  elif cmp -s "$f" "$tmp/b.json"; then seen="$seen b"
  elif [ "$(cat "$f")" = "old content" ]; then seen="$seen old"
  else fail "kill $kill: the file is neither its old text nor a whole new one"
  fi
  n=$(leftovers "$tmp")
  [ "$n" -le 1 ] || fail "kill $kill: $n new files left"
  [ "$n" = 1 ] && seen="$seen+new"
  find "$tmp" -name '*.saveledger-*' -delete
done
echo "SIGKILL: 20 kills, the file whole every time (file after each kill,"
echo "  +new: the killed call's new file was left):$seen"
