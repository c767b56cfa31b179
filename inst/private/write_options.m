## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {[@var{pretty}, @var{preserve}, @var{lines}] =} write_options (@var{caller}, @var{args})
## Read the options of @code{saveledger} and @code{ledgerencode} for
## @var{caller} from the name/value pairs @var{args}.
##
## Besides ledgerkit's own names, MATLAB's are taken: @qcode{"PrettyPrint"}
## is @qcode{"Pretty"}, and @qcode{"ConvertInfAndNaN"} is the opposite of
## @qcode{"Preserve"}.  Of options that set the same thing the last holds.
## Each result is a logical scalar.
## @end deftypefn

function [pretty, preserve, lines] = write_options (caller, args)
  ## Every fault of a name or a value, in the words of every function.
  ledger_options (caller, {"Pretty", "Preserve", "Lines", "PrettyPrint", ...
                           "ConvertInfAndNaN"}, args);
  pretty = preserve = lines = false;
  for i = 1:2:numel (args)
    value = logical (full (args{i+1}));
    switch (lower (args{i}))
      case {"pretty", "prettyprint"}
        pretty = value;
      case "preserve"
        preserve = value;
      case "convertinfandnan"
        preserve = ! value;
      otherwise
        lines = value;
    endswitch
  endfor
  if (pretty && lines)
    error ("Octave:invalid-input-arg",
           "%s: the options 'Pretty' and 'Lines' cannot be used together: JSON Lines are compact",
           caller);
  endif
endfunction
