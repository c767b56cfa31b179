#!/usr/bin/env bash
# Install the interpreter and its development files when they are missing.
# Does nothing when mkoctfile and octave-cli are both on the PATH.
set -eu

if command -v mkoctfile >/dev/null 2>&1 && command -v octave-cli >/dev/null 2>&1; then
  exit 0
fi

pkgs="octave liboctave-dev"
if [ "$(id -u)" -ne 0 ]; then
  echo "ledgerkit: the interpreter (mkoctfile, octave-cli) is missing; install it with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y $pkgs" >&2
  exit 1
fi

echo "ledgerkit: installing $pkgs ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $pkgs
