## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {} ledger_autoload (@var{top})
## Make the extra functions of the work tree's modules known, as the
## package's PKG_ADD does once it is installed.
##
## A module source names each further function it holds in a line
## @code{// PKG_ADD: autoload ("NAME", "MODULE.oct");}.  The module file is
## the one found first on the load path, so that a build elsewhere (the
## sanitizer build) that comes first on the path is the one used.
## @end deftypefn

function ledger_autoload (top)
  sources = [glob(fullfile (top, "reader", "*.cc"));
             glob(fullfile (top, "writer", "*.cc"));
             glob(fullfile (top, "convert", "*.cc"))];
  for i = 1:numel (sources)
    text = fileread (sources{i});
    calls = regexp (text, '^// PKG_ADD: autoload \("([^"]+)", "([^"]+)"\);',
                    "tokens", "lineanchors");
    for k = 1:numel (calls)
      [name, module] = calls{k}{:};
      found = file_in_loadpath (module);
      if (! isempty (found))
        autoload (name, make_absolute_filename (found));
      endif
    endfor
  endfor
endfunction
