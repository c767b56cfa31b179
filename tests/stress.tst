## Stress: large and deep documents, every byte value, cut texts and a
## failed write, read by __ledgerscan__ and written by __ledgeremit__.
## Each case stays within a few seconds.

%!function [t, m] = scan (txt, opts = 0)
%!  [t, m] = __ledgerscan__ (txt, bitand (opts, 1), bitand (opts, 2), bitand (opts, 4));
%!endfunction

%!function check (got, want, what)
%!  if (! isequal (got, want) || ! strcmp (class (got), class (want)))
%!    error ("%s: got %s, want %s", what, disp (got), disp (want));
%!  endif
%!endfunction

## The JSON text of the byte B inside a string literal.
%!function e = escaped (b)
%!  short = {34, '\"'; 92, '\\'; 8, '\b'; 9, '\t'; 10, '\n'; 12, '\f'; 13, '\r'};
%!  k = find ([short{:,1}] == b);
%!  if (! isempty (k))
%!    e = short{k,2};
%!  elseif (b < 32)
%!    e = sprintf ('\\u%04x', b);
%!  else
%!    e = char (b);
%!  endif
%!endfunction

## M is one of the reader's messages and names a place of TXT: a line and
## column that some cursor position from 0 to the end of TXT has.
%!function placed (m, txt, what)
%!  known = __ledgermessages__ ();
%!  tok = regexp (m, '^(.*) at line (\d+), column (\d+)\.$', "tokens", "once");
%!  if (isempty (tok) || ! any (strcmp (tok{1}, known)))
%!    error ("%s: a malformed message: %s", what, m);
%!  endif
%!  line = str2double (tok{2});
%!  col = str2double (tok{3});
%!  b = double (txt);
%!  nl = b == 10;
%!  counted = ! nl & bitand (b, 192) != 128;
%!  ## Line and column of each cursor position 0 .. numel (txt).
%!  L = 1 + [0, cumsum(nl)];
%!  cc = [0, cumsum(counted)];
%!  last = [0, cummax(nl .* (1:numel (b)))];
%!  C = 1 + cc - cc(last + 1);
%!  if (! any (L == line & C == col))
%!    error ("%s: line %d, column %d is not in the text: %s", what, line, col, m);
%!  endif
%!endfunction

## 10^4 values, each nested to the reader's limit: written back as read.
%!test
%! one = [repmat("[", 1, 63), "1.0", repmat("]", 1, 63)];
%! doc = ["[", strjoin(repmat({one}, 1, 1e4), ","), "]"];
%! [t, m] = scan (doc);
%! assert (m, "");
%! assert (size (t), [1e4, 1]);
%! x = t{end};
%! for i = 1:63
%!   assert (iscell (x) && numel (x) == 1);
%!   x = x{1};
%! endfor
%! assert (x, 1);
%! assert (emit_tree (t), doc);
%! ## One level more, in the last value only: refused at that value.
%! deeper = [repmat("[", 1, 64), "1.0", repmat("]", 1, 64)];
%! doc = ["[", strjoin([repmat({one}, 1, 1e4 - 1), {deeper}], ","), "]"];
%! [t, m] = scan (doc);
%! assert (t, zeros (0, 0));
%! assert (m, sprintf ("nesting deeper than the option MaxDepth allows at line 1, column %d.", strfind (doc, "1.0")(end)));

## A 50 MB text, read and written back: plain bytes are passed through both
## ways, and bytes that need escapes are escaped and read back.
%!test
%! plain = repmat (char ([32:33, 35:91, 93:255]), 1, ceil (50e6 / 221))(1:50e6);
%! doc = ['"', plain, '"'];
%! assert (scan (doc), plain);
%! assert (emit_tree (plain), doc);
%! clear plain doc
%! mixed = repmat (["abcdefgh", char(10), '"'], 1, 5e6);
%! txt = emit_tree (mixed);
%! assert (numel (txt), 60e6 + 2);
%! assert (txt(1:13), '"abcdefgh\n\"');
%! assert (scan (txt), mixed);

## Every byte value in keys and values, written and read back.
%!test
%! keys = arrayfun (@(b) char (b), (0:255)', "uniformoutput", false);
%! tree = struct ();
%! tree.keys = keys;
%! tree.values = keys;
%! members = arrayfun (@(b) ['"', escaped(b), '":"', escaped(b), '"'], 0:255, ...
%!                     "uniformoutput", false);
%! want = ["{", strjoin(members, ","), "}"];
%! for pretty = [false, true]
%!   txt = emit_tree (tree, pretty);
%!   if (! pretty)
%!     assert (txt, want);
%!   endif
%!   back = scan (txt);
%!   assert (back.keys, keys);
%!   assert (back.values, keys);
%! endfor

## Every byte value in the text read: inside a text value, inside a key and
## after a value.
%!test
%! for b = 0:255
%!   c = char (b);
%!   what = sprintf ("byte %d", b);
%!   ## A text value and a key holding the byte.
%!   [t, m] = scan (['"a', c, 'b"']);
%!   [o, mk] = scan (['{"a', c, 'b":1}']);
%!   if (b < 32)
%!     check (m, "a control character in text must be escaped at line 1, column 3.", what);
%!     check (mk, "a control character in text must be escaped at line 1, column 4.", what);
%!   elseif (b == 34)
%!     check (m, "unexpected text after the value at line 1, column 4.", what);
%!     check (mk, "missing ':' after an object key at line 1, column 5.", what);
%!   elseif (b == 92)
%!     assert (double (t), [97, 8]);
%!     assert (double (o.keys{1}), [97, 8]);
%!   else
%!     check (double (t), [97, b, 98], what);
%!     check (double (o.keys{1}), [97, b, 98], what);
%!     assert (o.values, {1});
%!   endif
%!   ## The byte after a top-level value.
%!   [t, m] = scan (["1", c]);
%!   if (any (b == [9, 10, 13, 32]))
%!     check (t, 1, what);
%!   elseif (b >= 48 && b <= 57)
%!     check (t, 10 + b - 48, what);
%!   elseif (any (b == double (".eE")))
%!     check (m, "invalid number at line 1, column 3.", what);
%!   else
%!     check (m, "unexpected text after the value at line 1, column 2.", what);
%!   endif
%! endfor

## A document cut at every byte: each prefix and each suffix, under every
## set of options, gives a tree or a message naming a place inside it.
%!test
%! doc = ["\xEF\xBB\xBF// ledger\n{\"id\": 12345678901234567890, /* big */ ", ...
%!        "\"neg\": -9223372036854775809,\r\n \"t\\u00e9xt\": \"caf\xC3\xA9 ", ...
%!        "\\u20AC \\uD83D\\uDE00 \\\"q\\\" \\\\\",\n\t\"n\": [0, -0.5e-3, 1E+2, ", ...
%!        "NaN, -Infinity, true, false, null, {}, [],],\n \"deep\": [[{\"k\": [1]}]]}\n"];
%! n = numel (doc);
%! for opts = 0:7
%!   for k = 0:n
%!     for cut = {doc(1:k), doc(k+1:end)}
%!       txt = cut{1};
%!       [t, m] = scan (txt, opts);
%!       what = sprintf ("options %d, %d bytes from %s", opts, numel (txt), txt(1:min (end, 20)));
%!       if (isempty (m))
%!         assert (! isequal (t, zeros (0, 0)), what);
%!       else
%!         check (t, zeros (0, 0), what);
%!         placed (m, txt, what);
%!       endif
%!     endfor
%!   endfor
%!   [t, m] = scan (doc, opts);
%!   assert (isempty (m), opts == 7);
%! endfor
%! t = scan (doc, 7);
%! assert (t.keys, {"id"; "neg"; "t\xC3\xA9xt"; "n"; "deep"});
%! assert (class (t.values{1}), "uint64");
%! assert (numel (t.values{4}), 10);

## A tree that cannot be written, its fault at the very end of a large
## tree: the existing file keeps its content and no new file appears.
%!test
%! f = [tempname() ".json"];
%! absent = [tempname() ".json"];
%! big = num2cell ((1:1e5)');
%! bad_value = [big; {{{1 + 2i}}}];
%! bad_key = struct ("keys", {[repmat({"k"}, 1e5, 1); {{}}]}, ...
%!                   "values", {[big; {1}]});
%! unwind_protect
%!   fid = fopen (f, "w");
%!   fwrite (fid, "old content");
%!   fclose (fid);
%!   for tree = {bad_value, bad_key}
%!     for pretty = [false, true]
%!       for name = {f, absent}
%!         failed = false;
%!         try
%!           __ledgeremit__ (tree{1}, name{1}, pretty, false);
%!         catch
%!           failed = true;
%!         end_try_catch
%!         assert (failed);
%!       endfor
%!       assert (fileread (f), "old content");
%!       assert (! exist (absent, "file"));
%!     endfor
%!   endfor
%! unwind_protect_cleanup
%!   [~] = unlink (f);
%! end_unwind_protect
