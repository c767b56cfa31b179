#!/usr/bin/env bash
# Build the package tarball NAME-VERSION.tar.gz (name and version from
# DESCRIPTION) in the layout the interpreter's package manager installs:
#
#   NAME-VERSION/DESCRIPTION COPYING NEWS INDEX
#   NAME-VERSION/inst/*.m, inst/private/*.m      the user-facing functions
#   NAME-VERSION/src/*.cc, *.h, src/Makefile, flags.mk  the modules
#   NAME-VERSION/src/core/*.h                   the core they share
#
#   tools/dist.sh [OUTDIR]      default OUTDIR: the top of the work tree
#
# The tarball is reproducible: sorted names, fixed owner, the DESCRIPTION
# date as every file's time, no gzip time stamp.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top}
cd "$top"

field() { sed -n "s/^$1: *//p" DESCRIPTION | head -1; }
name=$(field Name)
version=$(field Version)
date=$(field Date)
[ -n "$name" ] && [ -n "$version" ] || { echo "dist: DESCRIPTION lacks Name or Version" >&2; exit 1; }

sources="reader/__ledgerscan__.cc writer/__ledgeremit__.cc convert/__ledgerconvert__.cc stream/__ledgerstream__.cc"
headers=$(ls core/*.h)
for f in $sources $headers DESCRIPTION COPYING NEWS INDEX tools/package.mk tools/flags.mk; do
  [ -f "$f" ] || { echo "dist: $f is missing" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkgdir="$stage/$name-$version"
mkdir -p "$pkgdir/inst/private" "$pkgdir/src/core"
cp DESCRIPTION COPYING NEWS INDEX "$pkgdir/"
cp inst/*.m "$pkgdir/inst/"
if compgen -G "inst/private/*.m" >/dev/null; then
  cp inst/private/*.m "$pkgdir/inst/private/"
else
  rmdir "$pkgdir/inst/private"
fi
cp $sources "$pkgdir/src/"
cp core/*.h "$pkgdir/src/core/"
for d in $(dirname $sources | sort -u); do
  if compgen -G "$d/*.h" >/dev/null; then cp "$d"/*.h "$pkgdir/src/"; fi
done
cp tools/package.mk "$pkgdir/src/Makefile"
cp tools/flags.mk "$pkgdir/src/flags.mk"

mkdir -p "$out"
tarball="$out/$name-$version.tar.gz"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="${date:-2000-01-01} 00:00:00Z" -cf - "$name-$version" \
  | gzip -9 -n >"$tarball.part"
mv "$tarball.part" "$tarball"
echo "dist: built $tarball"
