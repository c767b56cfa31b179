#!/usr/bin/env bash
# Build the libFuzzer harnesses and run them one after the other.
#
#   fuzz/run.sh [SECONDS [HARNESS ...]]
#
# SECONDS (default 600) is the total time, shared equally by the harnesses
# (default: reader writer convert).  Each keeps its corpus in fuzz/corpus-NAME,
# started from fuzz/seeds/NAME; builds, logs and any crashing input go to
# fuzz/out.  Exits non-zero on any crash, leak, time-out or sanitizer
# report, after printing the log and the input that reproduces it.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

total=${1:-600}
shift $(( $# > 0 ? 1 : 0 ))
[ $# -gt 0 ] || set -- reader writer convert
case "$total" in ''|*[!0-9]*) echo "fuzz: SECONDS must be a whole number" >&2; exit 2 ;; esac

bash tools/fuzz-deps.sh || exit 1
CLANGXX=${CLANGXX:-clang++}
MKOCTFILE=${MKOCTFILE:-mkoctfile}
inc=$("$MKOCTFILE" -p OCTINCLUDEDIR)
lib=$("$MKOCTFILE" -p OCTLIBDIR)

out=fuzz/out
mkdir -p "$out"
share=$(( total / $# ))
[ "$share" -ge 1 ] || share=1

# Leaks are findings; a report of any kind ends the run with a non-zero status.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

build() {
  local name=$1 bin=$out/$1_fuzz
  # A harness includes the core and the modules' headers.
  local deps=("fuzz/$1_fuzz.cc" fuzz/tree_check.h core/*.h */*.h)
  local stale=0 d
  [ -x "$bin" ] || stale=1
  for d in "${deps[@]}"; do
    [ "$d" -nt "$bin" ] && stale=1
  done
  [ $stale -eq 0 ] && return 0
  echo "fuzz: building $bin"
  "$CLANGXX" -std=gnu++17 -g -O1 -Wall -Wextra -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I. -I"$inc/.." -I"$inc" "fuzz/$1_fuzz.cc" -o "$bin" \
    -L"$lib" -Wl,-rpath,"$lib" -loctinterp -loctave -lz
}

status=0
for name in "$@"; do
  if [ ! -f "fuzz/${name}_fuzz.cc" ]; then
    echo "fuzz: no harness fuzz/${name}_fuzz.cc" >&2; status=1; continue
  fi
  build "$name" || { echo "fuzz: building the $name harness failed" >&2; status=1; continue; }
  corpus=fuzz/corpus-$name
  mkdir -p "$corpus"
  log=$out/$name.log
  args=(-max_total_time="$share" -timeout=10 -rss_limit_mb=4096
        -print_final_stats=1 -artifact_prefix="$out/$name-")
  [ -f "fuzz/$name.dict" ] && args+=(-dict="fuzz/$name.dict")
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "fuzz: $name for ${share}s"
  "$out/${name}_fuzz" "${args[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # A report that did not stop the process still counts.
  if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    [ $rc -ne 0 ] || rc=1
  fi
  printf '%s %s %ss runs=%s exit=%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" \
    "$name" "$share" "${runs:-?}" "$rc" >>"$out/history.log"
  if [ $rc -eq 0 ]; then
    echo "fuzz: $name: ${runs:-?} inputs in ${share}s, no finding ($(ls "$corpus" | wc -l) in the corpus)"
  else
    echo "fuzz: $name: FINDING (exit status $rc); log $log" >&2
    grep -vE '^#[0-9]+.*(NEW|REDUCE|pulse)' "$log" | tail -60 >&2
    sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | while read -r unit; do
      echo "fuzz: reproduce with: $out/${name}_fuzz $unit" >&2
    done
    status=1
  fi
done
exit $status
