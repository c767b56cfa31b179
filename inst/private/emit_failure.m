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
## missing (the writer, or the conversion the writer calls) is named as
## such.  Any other error passes unchanged.
## @end deftypefn

function emit_failure (caller, err)
  msg = err.message;
  k = regexp (msg, '^__ledger(emit|text|save)__: ', "end", "once");
  if (! isempty (k))
    msg = [caller ": " msg(k+1:end)];
  elseif (strcmp (err.identifier, "Octave:undefined-function")
          && ! isempty (regexp (msg, "'__ledger(emit|text|save)__' undefined",
                                "once")))
    msg = missing_module (caller, "writer", "__ledgeremit__");
  elseif (! isempty (regexp (msg, "'__ledgerconvert__' (undefined|not found)",
                              "once")))
    ## The writer hands it what it does not lay out itself.
    msg = missing_module (caller, "conversion", "__ledgerconvert__");
  else
    rethrow (err);
  endif
  error (struct ("message", msg, "identifier", err.identifier,
                 "stack", err.stack));
endfunction

function msg = missing_module (caller, what, name)
  msg = sprintf (["%s: the %s module %s.oct is missing or out of date: " ...
                  "build it with make, or install ledgerkit again"],
                 caller, what, name);
endfunction
