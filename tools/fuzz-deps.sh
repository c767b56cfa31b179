#!/usr/bin/env bash
# Install clang and its fuzzing and sanitizer runtimes when a libFuzzer
# harness cannot be built.  Does nothing when `clang++ -fsanitize=fuzzer`
# already links a program.
set -eu

cxx=${CLANGXX:-clang++}
command -v "$cxx" >/dev/null 2>&1 || cxx=clang++-14

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

pkgs="clang-14 libclang-rt-14-dev"
if [ "$(id -u)" -ne 0 ]; then
  echo "ledgerkit: clang++ -fsanitize=fuzzer does not work here; install with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y $pkgs" >&2
  exit 1
fi

echo "ledgerkit: installing $pkgs ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $pkgs
cxx=clang++-14
links || { echo "ledgerkit: clang++ -fsanitize=fuzzer still fails" >&2; exit 1; }
