## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {[@var{comments}, @var{commas}, @var{infnan}, @var{lines}] =} reading_options (@var{caller}, @var{args})
## The reading options of @var{caller} (@code{loadledger},
## @code{ledgerdecode}) from the name/value pairs @var{args}, each a logical
## scalar, false unless given.  The one list of their names, in the order of
## the results.
## @end deftypefn

function varargout = reading_options (caller, args)
  varargout = struct2cell (ledger_options (caller, {"Comments", ...
                                                    "TrailingCommas", ...
                                                    "InfNaN", "Lines"}, args));
endfunction
