#!/usr/bin/env bash
# The package as a user gets it: build the tarball, install it with the
# package manager into a temporary prefix, load it, read and write a
# document through the installed functions, run the installed tests, and
# uninstall it.  The package lists point at temporary files throughout, so
# the user's own installed packages are neither seen nor touched.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
OCTAVE=${OCTAVE:-octave-cli}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# What the user's own package lists hold now, to compare at the end.
lists() {
  for f in "$HOME/.config/octave/"*/octave_packages \
           /usr/share/octave/octave_packages; do
    [ -f "$f" ] && { printf '%s ' "$f"; cksum <"$f"; }
  done
  return 0
}
before=$(lists)

bash tools/dist.sh "$tmp" >/dev/null
tarball=$(ls "$tmp"/ledgerkit-*.tar.gz)

# Every function file has tests, and so does a module whose source holds them.
with_tests="loadledger ledgerdecode saveledger ledgerencode ledgerget ledgerset ledgerplain ledgertree"
for f in reader/__ledgerscan__.cc writer/__ledgeremit__.cc convert/__ledgerconvert__.cc; do
  if grep -q '^%!' "$f"; then with_tests="$with_tests $(basename "$f" .cc)"; fi
done

# The package's own files, nothing of the work tree, are on the path.
LEDGER_TMP=$tmp LEDGER_TARBALL=$tarball LEDGER_WITH_TESTS=$with_tests \
  "$OCTAVE" --no-gui --norc --no-history --quiet --no-window-system --eval '
  tmp = getenv ("LEDGER_TMP");
  pkg ("prefix", fullfile (tmp, "packages"), fullfile (tmp, "packages"));
  pkg ("local_list", fullfile (tmp, "local_list"));
  pkg ("global_list", fullfile (tmp, "global_list"));
  pkg ("install", "-local", getenv ("LEDGER_TARBALL"));
  pkg ("load", "ledgerkit");

  names = {"loadledger", "ledgerdecode", "saveledger", "ledgerencode", ...
           "ledgerget", "ledgerset", "ledgerplain", "ledgertree", ...
           "__ledgerscan__", "__ledgeremit__", "__ledgerconvert__"};
  for i = 1:numel (names)
    where = which (names{i});
    if (! strncmp (where, tmp, numel (tmp)))
      error ("%s comes from %s, not from the installed package", names{i}, where);
    endif
  endfor

  ## A document with what the built-in functions lose, read and written.
  doc = fullfile (tmp, "doc.json");
  fid = fopen (doc, "w");
  fwrite (fid, ["{\"id\": 12345678901234567890, // the ID\n" ...
                " \"id\": null, \"name\": \"caf\xc3\xa9\", \"v\": [0.1, {}, []],}"]);
  fclose (fid);
  t = loadledger (doc, "Comments", true, "TrailingCommas", true);
  assert (t.keys, {"id"; "id"; "name"; "v"});
  assert (class (t.values{1}), "uint64");
  saveledger (t, doc, "Pretty", true);
  assert (loadledger (doc), t);
  assert (ledgerencode (t),
          "{\"id\":12345678901234567890,\"id\":null,\"name\":\"caf\xc3\xa9\",\"v\":[0.1,{},[]]}");
  assert (ledgerdecode (ledgerencode (t)), t);

  ## The installed tests; those of a module come from the file that the
  ## package manager extracts from its source, when the source has tests.
  with_tests = strsplit (getenv ("LEDGER_WITH_TESTS"));
  for name = names
    [n, m] = test (name{1}, "quiet", stdout);
    printf ("test %s: %d of %d passed\n", name{1}, n, m);
    if (n != m || (m == 0 && any (strcmp (name{1}, with_tests))))
      error ("the installed tests of %s did not all pass", name{1});
    endif
  endfor

  pkg ("unload", "ledgerkit");
  ## -local also for root, whose default is the global list.
  pkg ("uninstall", "-local", "ledgerkit");
  if (! isempty (pkg ("list")))
    error ("ledgerkit is still listed after pkg uninstall");
  endif
  if (! isempty (dir (fullfile (tmp, "packages", "ledgerkit-*"))))
    error ("pkg uninstall left the package folder behind");
  endif
  printf ("package: installed, used, tested and removed\n");'

after=$(lists)
if [ "$before" != "$after" ]; then
  echo "package: the user's package lists changed" >&2
  exit 1
fi
