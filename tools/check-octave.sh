#!/usr/bin/env bash
# Run the test suite on the other interpreters that users have, each in a
# minimal Debian chroot of its release, without touching the host's own.
#
#   tools/check-octave.sh [RELEASE ...]     default: bullseye trixie forky
#
#   bullseye Debian 11:        Octave 6.2 (no jsondecode/jsonencode)
#   trixie   Debian 13, stable: Octave 9.4
#   forky    Debian testing:   Octave 11.3
#
# Each chroot is built once (mmdebstrap, from Debian's package registry) into
# the cache folder LEDGER_CHROOTS (default /var/cache/ledgerkit/chroots) and
# reused; a change of the package list below rebuilds it.  A run copies a
# clean clone of this checkout's HEAD (its committed state, also from a git
# worktree) into the chroot, mounts /proc, /dev and
# a fresh /dev/shm, runs `make LEDGER_CHECK_TARGET` there (default: check)
# and unmounts on every way out.  It prints one line per interpreter,
# "octave X.Y.Z (api-vNN): N passed, N failed", and fails when any run fails.
# Needs root (chroot and mount).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
chroots=${LEDGER_CHROOTS:-/var/cache/ledgerkit/chroots}
mirror=${LEDGER_MIRROR:-http://deb.debian.org/debian}
target=${LEDGER_CHECK_TARGET:-check}
[ $# -gt 0 ] || set -- bullseye trixie forky

# What `make check` needs there: the interpreter and its development files,
# the build tools, and clang with its fuzzing runtime for the fuzz check.
# Before Octave 8 the development files are liboctave-dev, and clang's
# runtime comes with clang itself.
packages_of () {
  case "$1" in
    bullseye) echo octave,liboctave-dev,zlib1g-dev,make,git,g++,clang ;;
    *) echo octave,octave-dev,zlib1g-dev,make,git,g++,clang,libclang-rt-dev ;;
  esac
}

if [ "$(id -u)" -ne 0 ]; then
  echo "check-octave: needs root, for chroot and mount" >&2
  exit 1
fi
command -v mmdebstrap >/dev/null 2>&1 || bash "$top/tools/apt-install.sh" mmdebstrap

# Build the chroot of release $1 at $2 unless it is there with this package list.
build () {
  local release=$1 root=$2 opts=() packages
  packages=$(packages_of "$release")
  if [ -f "$root/.ledgerkit-packages" ] \
     && [ "$(cat "$root/.ledgerkit-packages")" = "$packages" ]; then
    return 0
  fi
  echo "check-octave: building the $release chroot in $root ..."
  rm -rf "$root" "$root.part"
  # The registry's copy of testing can be older than its Release file says it
  # may be; apt is told to take it, for this chroot only.
  case "$release" in
    bullseye|bookworm|trixie) ;;
    *) opts+=(--aptopt='Acquire::Check-Valid-Until "false"') ;;
  esac
  mmdebstrap --quiet --variant=minbase --include="$packages" "${opts[@]}" \
    "$release" "$root.part" "$mirror"
  echo "$packages" >"$root.part/.ledgerkit-packages"
  mv "$root.part" "$root"
}

mounted=()
unmount_all () {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
  done
  mounted=()
}

mount_in () {
  mount "$@"
  mounted+=("${!#}")
}

# Run the suite in the chroot at $1; print its closing line.
run_in () {
  local root=$1 log=$2 work=/root/ledgerkit
  rm -rf "$root$work"
  git clone --quiet --no-hardlinks "$top" "$root$work"
  # Whatever branch the clone checked out (from a git worktree it need not
  # be the worktree's), run this checkout's commit.
  git -C "$root$work" checkout --quiet --detach "$(git -C "$top" rev-parse HEAD)"
  mount_in -t proc proc "$root/proc"
  mount_in --bind /dev "$root/dev"
  mount_in -t tmpfs -o mode=1777,size=1g tmpfs "$root/dev/shm"
  local rc=0
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin \
    bash -c "cd $work && make $target" >"$log" 2>&1 || rc=$?
  local version api result
  version=$(chroot "$root" octave-cli --no-gui --norc --quiet \
            --eval 'disp (OCTAVE_VERSION)' 2>/dev/null | tail -1)
  unmount_all
  api=$(sed -n 's/^#define OCTAVE_API_VERSION "\(.*\)"/\1/p' \
        "$root"/usr/include/octave-*/octave/version.h | head -1)
  result=$(grep -aE '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -1)
  [ -n "$result" ] || result="did not finish (exit status $rc)"
  echo "octave $version ($api): $result"
  rm -rf "$root$work"
  return $rc
}

mkdir -p "$chroots"
failed=0
for release in "$@"; do
  root=$chroots/$release
  log=$chroots/$release.log
  (
    # One run per chroot at a time; what is mounted goes on every way out.
    trap unmount_all EXIT
    trap 'exit 130' INT TERM
    flock 9
    build "$release" "$root"
    if ! run_in "$root" "$log"; then
      echo "check-octave: $release failed; the last lines of $log:" >&2
      tail -40 "$log" | sed 's/^/    /' >&2
      exit 1
    fi
  ) 9>"$chroots/$release.lock" || failed=1
done
exit $failed
