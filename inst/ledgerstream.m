## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn  {} {@var{s} =} ledgerstream (@var{file})
## @deftypefnx {} {@var{s} =} ledgerstream (@var{file}, @var{name}, @var{value}, @dots{})
## @deftypefnx {} {@var{recs} =} read (@var{s}, @var{n})
## @deftypefnx {} {[@var{recs}, @var{errmsg}] =} read (@var{s}, @var{n})
## @deftypefnx {} {@var{tf} =} done (@var{s})
## @deftypefnx {} {} close (@var{s})
## Read the records of a JSON file a batch at a time, in bounded memory.
##
## A file larger than the memory can be read this way: only the text of the
## batch being read and its values are held at once.  @code{read (@var{s},
## @var{n})} returns the next @var{n} records (fewer at the end of the file)
## as an @var{n}-by-1 cell array of trees, as @code{loadledger} makes them;
## @code{done (@var{s})} tells whether every record has been read;
## @code{close (@var{s})}, or clearing @var{s}, releases the file.  After
## each @code{read}, @code{@var{s}.Line} and @code{@var{s}.Offset} are
## column vectors of the first line (from 1) and the byte offset in the
## file's text (from 0) of each record of that batch.
##
## The file is JSON Lines by default, one record per line, read as
## @code{loadledger (@var{file}, "Lines", true)} reads it.  A file that is
## gzip-compressed (known by its first bytes, whatever its name) is read as
## its text; lines and offsets are then those of the text.
##
## The options are name/value pairs after @var{file}, their names in any
## case:
##
## @table @asis
## @item @qcode{"Array"}
## The file is one top-level array, @code{[@{@dots{}@}, @{@dots{}@}, @dots{}]}:
## each of its elements is a record.
##
## @item @qcode{"Lines"}
## True by default; false reads JSON documents one after another, set
## apart by white space (a document may span many lines).
##
## @item @qcode{"Plain"}
## Each record as an ordinary value, as @code{ledgerplain} makes it,
## instead of a tree.
##
## @item @qcode{"Comments"}, @qcode{"TrailingCommas"}, @qcode{"InfNaN"}, @qcode{"MaxDepth"}
## As for @code{loadledger}.
## @end table
##
## A bad record raises an error with the identifier
## @qcode{"ledgerkit:parse"} that names the file and the line and column of
## the fault in the whole file; nothing of the batch is then consumed.  With
## two outputs no error is raised: @var{recs} holds the records before the
## fault, @var{errmsg} the message (empty when there is none), and the next
## @code{read} goes on with the record after the bad one (in JSON Lines the
## next line, in an array the next element; documents one after another
## end at a fault).  A last record that the file's end cuts short, as in a
## file still being written, is reported as cut short and stays unread, so
## that a later @code{read} takes it once the file is whole.  A file that
## cannot be read raises one with the identifier @qcode{"ledgerkit:io"}.
## Ctrl-C stops a @code{read}; the stream stays as before that call.
##
## Example:
##
## @example
## @group
## f = [tempname() ".jsonl"];
## saveledger (@{struct("id", 1); struct("id", 2); struct("id", 3)@}, f, "Lines", true);
## s = ledgerstream (f, "Plain", true);
## total = 0;
## while (! done (s))
##   recs = read (s, 2);
##   total += sum (cellfun (@@(r) r.id, recs));
## endwhile
## close (s);
## delete (f);
## total
##   @result{} 6
## @end group
## @end example
##
## @seealso{loadledger, saveledger, ledgerplain}
## @end deftypefn

classdef ledgerstream < handle

  properties (Dependent)
    ## The first line of each record of the last batch.
    Line
    ## The byte offset of each record of the last batch.
    Offset
  endproperties

  properties (Access = private)
    id = [];
    plain = false;
  endproperties

  methods

    function s = ledgerstream (file, varargin)
      if (nargin < 1)
        print_usage ();
      endif
      [s.id, s.plain] = __ledgerstream__ ("open", file, varargin{:});
    endfunction

    function [recs, errmsg] = read (s, n)
      if (nargin != 2)
        print_usage ();
      endif
      if (nargout < 2)
        recs = __ledgerstream__ ("read", s.id, n, false);
      else
        [recs, errmsg] = __ledgerstream__ ("read", s.id, n, true);
      endif
      if (s.plain)
        recs = cellfun (@ledgerplain, recs, "UniformOutput", false);
      endif
    endfunction

    function tf = done (s)
      tf = __ledgerstream__ ("done", s.id);
    endfunction

    function close (s)
      if (! isempty (s.id))
        __ledgerstream__ ("close", s.id);
        s.id = [];
      endif
    endfunction

    function delete (s)
      close (s);
    endfunction

    function v = get.Line (s)
      [v, ~] = __ledgerstream__ ("places", s.id);
    endfunction

    function v = get.Offset (s)
      [~, v] = __ledgerstream__ ("places", s.id);
    endfunction

  endmethods

endclassdef

%!demo
%! ## Sum a field over a JSON Lines file a batch at a time.
%! f = [tempname() ".jsonl"];
%! saveledger ({struct("n", 1); struct("n", 2); struct("n", 3)}, f, "Lines", true);
%! s = ledgerstream (f, "Plain", true);
%! total = 0;
%! while (! done (s))
%!   recs = read (s, 2);
%!   total += sum (cellfun (@(r) r.n, recs));
%!   printf ("records from lines %s\n", mat2str (s.Line'));
%! endwhile
%! close (s);
%! delete (f);
%! printf ("total: %d\n", total);

## The help text's example.
%!test
%! f = [tempname() ".jsonl"];
%! saveledger ({struct("id", 1); struct("id", 2); struct("id", 3)}, f, "Lines", true);
%! s = ledgerstream (f, "Plain", true);
%! total = 0;
%! while (! done (s))
%!   recs = read (s, 2);
%!   total += sum (cellfun (@(r) r.id, recs));
%! endwhile
%! close (s);
%! delete (f);
%! assert (total, 6);
%!error ledgerstream ()
