## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{errmsg} =} ledger_emit (@var{caller}, @var{tree}, @var{file}, @var{pretty}, @var{preserve})
## Write @var{tree} to @var{file} with the writer module, for @var{caller}.
##
## @var{errmsg} is the writer's message about the file, empty on success.
## A tree that the writer refuses raises its error again in the caller's
## name, so that users see the function they called, not the module.
## @end deftypefn

function errmsg = ledger_emit (caller, tree, file, pretty, preserve)
  try
    errmsg = __ledgeremit__ (tree, file, pretty, preserve);
  catch err
    prefix = "__ledgeremit__: ";
    if (strncmp (err.message, prefix, numel (prefix)))
      msg = [caller ": " err.message(numel (prefix)+1:end)];
    else
      msg = [caller ": the tree cannot be written: " err.message];
    endif
    if (isempty (err.identifier))
      error ("%s", msg);
    else
      error (err.identifier, "%s", msg);
    endif
  end_try_catch
endfunction
