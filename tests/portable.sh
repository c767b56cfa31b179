#!/usr/bin/env bash
# The core's fallbacks for number text, used where the C++ library lacks
# std::from_chars and std::to_chars for doubles (g++ 10), give the library's
# own text wherever the library has them.  Elsewhere there is no library
# text to compare with, and nothing is checked.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
inc=$(mkoctfile -p OCTINCLUDEDIR)
printf '#include <charconv>\nint main () { char b[32]; double d = 0; std::to_chars (b, b + 32, d); return std::from_chars (b, b + 1, d).ec != std::errc (); }\n' >"$tmp/probe.cc"
if ! g++ -std=gnu++17 "$tmp/probe.cc" -o "$tmp/probe" 2>/dev/null; then
  echo "portable: the C++ library has no std::to_chars for doubles; nothing to compare"
  exit 0
fi
g++ -std=gnu++17 -O2 -I"$top" -I"$inc/.." -I"$inc" "$top/tests/portable_check.cc" -o "$tmp/check"
"$tmp/check"
