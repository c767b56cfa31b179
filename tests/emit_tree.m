## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{txt} =} emit_tree (@var{tree}, @var{pretty}, @var{preserve})
## The JSON text that the writer gives the tree @var{tree}, as it writes it
## to a file; @var{pretty} and @var{preserve} default to false.  The tests'
## one way of writing a tree.
## @end deftypefn

function txt = emit_tree (tree, pretty = false, preserve = false)
  txt = __ledgertreetext__ (tree, "Pretty", pretty, "Preserve", preserve);
endfunction
