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
  ## Each option once: its name, the setting it makes, and whether that
  ## setting is the opposite of its value.
  table = {"Pretty",           "pretty",   false;
           "Preserve",         "preserve", false;
           "Lines",            "lines",    false;
           "PrettyPrint",      "pretty",   false;
           "ConvertInfAndNaN", "preserve", true};
  ## Every fault of a name or a value, in the words of every function.
  ledger_options (caller, table(:,1).', args);
  set = struct ("pretty", false, "preserve", false, "lines", false);
  for i = 1:2:numel (args)
    k = find (strcmpi (args{i}, table(:,1)), 1);
    set.(table{k,2}) = xor (logical (full (args{i+1})), table{k,3});
  endfor
  pretty = set.pretty;
  preserve = set.preserve;
  lines = set.lines;
  if (pretty && lines)
    error ("Octave:invalid-input-arg",
           "%s: the options 'Pretty' and 'Lines' cannot be used together: JSON Lines are compact",
           caller);
  endif
endfunction
