#!/usr/bin/env bash
# Install the Debian packages named as arguments, non-interactively.  Run by
# a user who is not root, print the one command to run instead and fail.
set -eu

if [ "$(id -u)" -ne 0 ]; then
  echo "ledgerkit: missing packages; install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y $*" >&2
  exit 1
fi

echo "ledgerkit: installing $* ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "$@"
