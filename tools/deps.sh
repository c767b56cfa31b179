#!/usr/bin/env bash
# Install the interpreter and its development files when they are missing.
# Does nothing when mkoctfile and octave-cli are both on the PATH.
set -eu

if command -v mkoctfile >/dev/null 2>&1 && command -v octave-cli >/dev/null 2>&1; then
  exit 0
fi
exec bash "$(dirname "$0")/apt-install.sh" octave "octave-dev|liboctave-dev"
