## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{opts} =} ledger_options (@var{caller}, @var{names}, @var{args})
## Read the name/value option pairs of a ledgerkit function.
##
## @var{names} is a cell array of the option names as the help text spells
## them, @var{args} the pairs as given.  The result has one logical field per
## option, named in lower case and false unless the option is given.  Names
## match whatever their case; of an option given twice the last value holds.
## Every value is checked here, completely, and comes out as a plain logical
## scalar, so that nothing the modules would refuse reaches them.  Every
## fault is raised as an error prefixed with @var{caller}, so that a wrong
## call never reaches a file.
## @end deftypefn

function opts = ledger_options (caller, names, args)

  opts = struct ();
  for k = 1:numel (names)
    opts.(lower (names{k})) = false;
  endfor

  for i = 1:2:numel (args)
    name = args{i};
    check_row (caller, "an option name", name);
    k = find (strcmpi (name, names), 1);
    if (isempty (k))
      error ("Octave:invalid-input-arg",
             "%s: unknown option '%s' (known: %s)", caller, name,
             strjoin (names, ", "));
    endif
    if (i == numel (args))
      error ("Octave:invalid-input-arg",
             "%s: the option '%s' needs a value", caller, names{k});
    endif
    value = args{i+1};
    ## Anything the interpreter itself takes as one true or false will do:
    ## true, 1, int8 (0), sparse (true) ...; a NaN, a text or an array will
    ## not.
    if (! (isscalar (value)
           && (islogical (value)
               || (isnumeric (value) && isreal (value) && ! isnan (value)))))
      error ("Octave:invalid-input-arg",
             "%s: the value of '%s' must be true or false", caller, names{k});
    endif
    opts.(lower (names{k})) = logical (full (value));
  endfor

endfunction
