// __ledgerconvert__: reach into a ledgerkit tree by a path, and convert
// between trees and the ordinary values of jsondecode and jsonencode.  The
// walks are in convert.h, the tree's rules and the making of a tree in the
// core.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <octave/oct.h>

#include <string>

#include "convert.h"

DEFUN_DLD (__ledgerconvert__, args, ,
  "-*- texinfo -*-\n"
  "  @deftypefn  {ledgerkit} {[@var{value}, @var{found}] =} __ledgerconvert__ "
  "(\"get\", @var{caller}, @var{tree}, @var{path}, @var{quiet})\n"
  "  @deftypefnx {ledgerkit} {@var{tree} =} __ledgerconvert__ "
  "(\"set\", @var{caller}, @var{tree}, @var{path}, @var{value})\n"
  "  @deftypefnx {ledgerkit} {@var{value} =} __ledgerconvert__ "
  "(\"plain\", @var{caller}, @var{tree})\n"
  "  @deftypefnx {ledgerkit} {@var{tree} =} __ledgerconvert__ "
  "(\"tree\", @var{caller}, @var{value})\n"
  "\n"
  "\n"
  "Read or replace one value of a JSON tree by its path, or convert a tree "
  "to and from ordinary values.\n"
  "\n"
  "@var{path} is a JSON Pointer text or a cell array of text keys and "
  "positive whole-number positions.  Errors are prefixed with "
  "@var{caller} and have the identifiers @qcode{\"ledgerkit:path\"} and "
  "@qcode{\"ledgerkit:tree\"}.  With @var{quiet} true a missing step "
  "gives @var{found} false instead of an error.\n"
  "\n"
  "This is a helper function for @qcode{ledgerget}, @qcode{ledgerset}, "
  "@qcode{ledgerplain} and @qcode{ledgertree}.  Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  const int nargin = args.length ();
  if (nargin < 3 || ! args(0).is_string () || ! args(1).is_string ())
    error ("__ledgerconvert__: OP and CALLER texts and a value are required.");
  const std::string op = args(0).string_value ();
  const std::string who = args(1).string_value ();
  if (op == "get" && nargin == 5)
    {
      ledger::path_walk walk (who);
      walk.read_path (args(3));
      bool found;
      const octave_value v = walk.get (args(2), args(4).bool_value (), found);
      return ovl (v, found);
    }
  if (op == "set" && nargin == 5)
    {
      ledger::path_walk walk (who);
      walk.read_path (args(3));
      return ovl (walk.set (args(2), args(4)));
    }
  if (op == "plain" && nargin == 3)
    {
      ledger::plain_maker maker (who);
      return ovl (maker.make (args(2)));
    }
  if (op == "tree" && nargin == 3)
    return ovl (ledger::to_tree (args(2), who));
  error ("__ledgerconvert__: unknown operation or wrong number of arguments.");
}

#if 0
%!error <OP and CALLER> __ledgerconvert__ ()
%!error <unknown operation> __ledgerconvert__ ("copy", "f", 1)
%!error <unknown operation> __ledgerconvert__ ("get", "f", 1)
#endif
