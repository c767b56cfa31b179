#!/usr/bin/env bash
# Install the package tarball for the current user (the package manager's
# local install, also when run as root), replacing an installed version.
#
#   tools/install.sh [TARBALL]     default: NAME-VERSION.tar.gz at the top
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
OCTAVE=${OCTAVE:-octave-cli}
name=$(sed -n 's/^Name: *//p' DESCRIPTION | head -1)
version=$(sed -n 's/^Version: *//p' DESCRIPTION | head -1)
tarball=${1:-$top/$name-$version.tar.gz}
[ -f "$tarball" ] || { echo "install: $tarball is missing; run 'make dist'" >&2; exit 1; }

LEDGER_TARBALL=$tarball LEDGER_NAME=$name \
  "$OCTAVE" --no-gui --norc --no-history --quiet --no-window-system --eval '
    name = getenv ("LEDGER_NAME");
    pkg ("install", "-local", getenv ("LEDGER_TARBALL"));
    info = pkg ("list", name);
    printf ("install: %s %s is installed in %s\n", name, info{1}.version, info{1}.dir);
    printf ("install: use it with  pkg load %s\n", name);'
