#!/usr/bin/env bash
# Install the interpreter, its development files and zlib's when they are
# missing.  Does nothing when mkoctfile and octave-cli are both on the PATH
# and zlib.h is there.
set -eu

if command -v mkoctfile >/dev/null 2>&1 && command -v octave-cli >/dev/null 2>&1 \
   && [ -f /usr/include/zlib.h ]; then
  exit 0
fi
exec bash "$(dirname "$0")/apt-install.sh" octave "octave-dev|liboctave-dev" zlib1g-dev
