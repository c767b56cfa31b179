#!/usr/bin/env bash
# Install the Debian packages named as arguments, non-interactively.  An
# argument "a|b" takes the first of a and b that the package index offers
# (a package can be renamed between Debian releases).  Run by a user who is
# not root, print the one command to run instead and fail.
set -eu

# The first alternative of $1 that the package index knows, else the first.
pick () {
  local alt
  IFS='|' read -r -a alts <<<"$1"
  for alt in "${alts[@]}"; do
    if [ -n "$(apt-cache show --no-all-versions "$alt" 2>/dev/null | head -1)" ]; then
      echo "$alt"; return
    fi
  done
  echo "${alts[0]}"
}

if [ "$(id -u)" -ne 0 ]; then
  pkgs=()
  for p in "$@"; do pkgs+=("$(pick "$p")"); done
  echo "ledgerkit: missing packages; install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${pkgs[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
pkgs=()
for p in "$@"; do pkgs+=("$(pick "$p")"); done
echo "ledgerkit: installing ${pkgs[*]} ..."
apt-get install -y -q --no-install-recommends "${pkgs[@]}"
