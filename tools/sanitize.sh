#!/usr/bin/env bash
# Run the modules' whole test suites under AddressSanitizer and
# UndefinedBehaviorSanitizer inside the real interpreter.
#
#   tools/sanitize.sh [FILE ...]     default: every Octave test file
#
# The modules (and the tests' oracle) are built with g++ sanitizers into
# sanitize/reader, sanitize/writer, sanitize/convert, sanitize/stream and
# sanitize/tests,
# which stand first on the path; the interpreter runs with gcc's sanitizer
# runtimes preloaded.
# Leak detection is off: the interpreter itself leaks at exit (the fuzz
# harnesses check leaks outside it).  Any sanitizer report fails the file
# it came from: the report stops the interpreter with a non-zero status,
# and the runner also looks for one in the output (LEDGER_FAIL_ON), should
# a report not stop it.
#
# The tests/*.sh checks are not run here: they build and run code of their
# own (the fuzz harnesses with clang's sanitizers, the installed package).
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
MKOCTFILE=${MKOCTFILE:-mkoctfile}
OCTAVE=${OCTAVE:-octave-cli}
CXX=${CXX:-g++}

san="-fsanitize=address,undefined -fno-omit-frame-pointer"
flags="-O1 -g -Wall -Wextra -Wshadow -std=gnu++17 $san"

build() {
  local src=$1 dir=$2 name
  name=$(basename "$src" .cc)
  mkdir -p "$dir"
  if [ "$dir/$name.oct" -nt "$src" ]; then
    return 0
  fi
  echo "sanitize: building $dir/$name.oct"
  CXXFLAGS="$flags" LDFLAGS="$san" "$MKOCTFILE" -I. -Ireader -o "$dir/$name.oct" "$src" -lz \
    || return 1
  rm -f "$dir/$name.o"
}

build reader/__ledgerscan__.cc sanitize/reader || exit 1
build writer/__ledgeremit__.cc sanitize/writer || exit 1
build convert/__ledgerconvert__.cc sanitize/convert || exit 1
build stream/__ledgerstream__.cc sanitize/stream || exit 1
build tests/__ledgeroracle__.cc sanitize/tests || exit 1

asan=$("$CXX" -print-file-name=libasan.so)
ubsan=$("$CXX" -print-file-name=libubsan.so)
for lib in "$asan" "$ubsan"; do
  if [ ! -e "$lib" ]; then
    echo "sanitize: $lib not found (install gcc's sanitizer runtimes)" >&2
    exit 1
  fi
done

# The runner takes the interpreter as one command: a wrapper preloads the
# runtimes for the interpreter alone, not for the shell tools around it.
wrapper=$top/sanitize/octave-cli
cat >"$wrapper" <<EOF
#!/bin/sh
LD_PRELOAD="$asan:$ubsan\${LD_PRELOAD:+:\$LD_PRELOAD}" exec $(command -v "$OCTAVE") "\$@"
EOF
chmod +x "$wrapper"

export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# AddressSanitizer makes every stack frame several times larger: reading
# and writing back the deepest document (MaxDepth 10000), which fits the
# usual 8 MB stack, needs more under it.
ulimit -s 65536 2>/dev/null || true

[ $# -gt 0 ] || set -- reader/*.cc writer/*.cc convert/*.cc stream/*.cc inst/*.m tests/*.tst

OCTAVE=$wrapper \
LEDGER_PATH=$top/sanitize/reader:$top/sanitize/writer:$top/sanitize/convert:$top/sanitize/stream:$top/inst:$top/sanitize/tests:$top/tests \
LEDGER_FAIL_ON='runtime error:|ERROR: (Address|Leak)Sanitizer|SUMMARY: [A-Za-z]+Sanitizer' \
  bash tools/run-tests.sh "$@"
