## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {} emit_failure (@var{caller}, @var{err})
## Raise the error @var{err} of the writer module again for @var{caller}.
##
## The module names itself in its messages: they are given the name of the
## function the user called, with their identifiers kept.  A module that is
## missing is named as such.  Any other error passes unchanged.
## @end deftypefn

function emit_failure (caller, err)
  msg = err.message;
  k = regexp (msg, '^__ledger(emit|text|save)__: ', "end", "once");
  if (! isempty (k))
    msg = [caller ": " msg(k+1:end)];
  elseif (strcmp (err.identifier, "Octave:undefined-function")
          && ! isempty (regexp (msg, "'__ledger(emit|text|save)__' undefined",
                                "once")))
    msg = sprintf (["%s: the writer module __ledgeremit__.oct is missing or " ...
                    "out of date: build it with make, or install ledgerkit " ...
                    "again"], caller);
  else
    rethrow (err);
  endif
  error (struct ("message", msg, "identifier", err.identifier,
                 "stack", err.stack));
endfunction
