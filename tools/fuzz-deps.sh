#!/usr/bin/env bash
# Install clang and its fuzzing and sanitizer runtimes when a libFuzzer
# harness cannot be built.  Does nothing when `clang++ -fsanitize=fuzzer`
# already links a program.
set -eu

cxx=${CLANGXX:-clang++}

links() {
  command -v "$cxx" >/dev/null 2>&1 || return 1
  local tmp
  tmp=$(mktemp -d)
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput (const uint8_t *, size_t) { return 0; }' \
    >"$tmp/probe.cc"
  "$cxx" -fsanitize=fuzzer,address,undefined "$tmp/probe.cc" -o "$tmp/probe" \
    >/dev/null 2>&1
  local rc=$?
  rm -rf "$tmp"
  return $rc
}

links && exit 0

# The release's default clang and its runtime; Debian 12 names the runtime
# only with clang's version, and Debian 11 keeps it in clang's own
# libclang-common-11-dev.
bash "$(dirname "$0")/apt-install.sh" clang \
  "libclang-rt-dev|libclang-rt-14-dev|libclang-common-11-dev"
links || { echo "ledgerkit: clang++ -fsanitize=fuzzer still fails" >&2; exit 1; }
