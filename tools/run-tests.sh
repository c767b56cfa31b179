#!/usr/bin/env bash
# Run every test of the project, one interpreter per file, and end with the
# line "N passed, N failed".  Exits non-zero on any failure, and on a file
# whose tests could not run (a crash, a missing module, a file without tests).
#
#   tools/run-tests.sh [FILE ...]     default: every module, function and test file
#
# Octave sources (.cc, .m, .tst) run through the interpreter's own `test`;
# a tests/*.sh script is one check that passes when it exits with status 0.
# A test that its file runs only where the interpreter has something (a
# "%!testif ; COND" block, such as the comparisons with jsondecode, which
# Octave 6 lacks) is skipped elsewhere: counted apart, neither passed nor
# failed.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
OCTAVE=${OCTAVE:-octave-cli}
LEDGER_PATH=${LEDGER_PATH:-$top/reader:$top/writer:$top/convert:$top/stream:$top/inst:$top/tests}

if [ $# -eq 0 ]; then
  set -- reader/*.cc writer/*.cc convert/*.cc stream/*.cc inst/*.m tests/*.tst tests/*.sh
fi

passed=0
failed=0
skipped=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

for f in "$@"; do
  [ -e "$f" ] || continue
  case "$f" in
    *.sh)
      if bash "$f" >"$log" 2>&1; then
        printf '%-40s ok\n' "$f"; passed=$((passed + 1))
      else
        printf '%-40s FAILED\n' "$f"; sed 's/^/    /' "$log" | tail -40
        failed=$((failed + 1))
      fi
      continue ;;
  esac
  # The interpreter prints one line "RESULT passed total skipped" when the
  # file ran.
  LEDGER_TEST_FILE="$top/$f" LEDGER_PATH="$LEDGER_PATH" \
    LEDGER_TOP="$top" LEDGER_TOOLS="$top/tools" \
    "$OCTAVE" --no-gui --norc --no-history --quiet --no-window-system \
    --eval 'addpath(strsplit(getenv("LEDGER_PATH"), pathsep){:});
            addpath(getenv("LEDGER_TOOLS")); ledger_autoload(getenv("LEDGER_TOP"));
            [n, m, ~, ~, s1, s2] = test(getenv("LEDGER_TEST_FILE"), "quiet", stdout);
            printf("RESULT %d %d %d\n", n, m, s1 + s2);' >"$log" 2>&1
  rc=$?
  # LEDGER_FAIL_ON: a pattern that fails the file when its output holds it
  # (tools/sanitize.sh gives the sanitizers' reports).
  if [ -n "${LEDGER_FAIL_ON:-}" ] && grep -aqE "$LEDGER_FAIL_ON" "$log"; then
    rc=99
  fi
  line=$(grep -a '^RESULT ' "$log" | tail -1)
  if [ $rc -ne 0 ] || [ -z "$line" ]; then
    printf '%-40s COULD NOT RUN (exit status %d)\n' "$f" "$rc"
    sed 's/^/    /' "$log" | tail -40
    failed=$((failed + 1))
    continue
  fi
  read -r _ n m k <<<"$line"
  skipped=$((skipped + k))
  note=
  [ "$k" -eq 0 ] || note=" ($k skipped)"
  if [ "$m" -eq 0 ]; then
    printf '%-40s NO TESTS\n' "$f"; failed=$((failed + 1)); continue
  fi
  passed=$((passed + n))
  failed=$((failed + m - n))
  if [ "$n" -eq "$m" ]; then
    printf '%-40s %d of %d passed%s\n' "$f" "$n" "$m" "$note"
  else
    printf '%-40s %d of %d passed, %d FAILED%s\n' "$f" "$n" "$m" $((m - n)) "$note"
    grep -av '^RESULT ' "$log" | sed 's/^/    /' | tail -300
  fi
done

if [ "$skipped" -gt 0 ]; then
  echo "$skipped skipped: this interpreter lacks what they compare with"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
