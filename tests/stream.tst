## ledgerstream against loadledger, the oracle: the same records from the
## same file in every form and batch size; faults, gzip and appending.

%!function f = put (bytes, ext = ".json")
%!  f = [tempname() ext];
%!  fid = fopen (f, "w");
%!  fwrite (fid, bytes, "uint8");
%!  fclose (fid);
%!endfunction
%!function b = bytes_of (f)
%!  fid = fopen (f, "r");
%!  b = fread (fid, [1, Inf], "uint8=>char");
%!  fclose (fid);
%!endfunction
## Every record of F in batches of N; the lines and offsets of each.
%!function [recs, line, offset] = stream_all (f, n, varargin)
%!  s = ledgerstream (f, varargin{:});
%!  recs = cell (0, 1);
%!  line = offset = zeros (0, 1);
%!  while (! done (s))
%!    r = read (s, n);
%!    assert (size (r, 2), 1);
%!    assert (numel (r) <= n);
%!    recs = [recs; r];
%!    line = [line; s.Line];
%!    offset = [offset; s.Offset];
%!  endwhile
%!  assert (read (s, n), cell (0, 1));
%!endfunction

## JSON Lines: the records loadledger reads, whatever the batch size; each
## record's line and offset name where its text starts.
## {bytes, options}
%!test
%! cases = {
%!   "{\"a\":1}\n[1,2]\n\"x\"\n",                {}
%!   "\n\n1\n\n  \n2\n\n",                        {}
%!   "1\r\n[2, 3]\r\n\r\n{\"k\":null}\r\n",      {}
%!   "1\n2\n{\"last\":true}",                    {}
%!   ["\xEF\xBB\xBF" "1\n2"],                     {}
%!   "// head\n1 // one\n/* c */ [2]\n",          {"Comments", true}
%!   "[1,]\n{\"a\":NaN,}\n",                      {"TrailingCommas", true, "InfNaN", true}
%!   "",                                           {}
%!   "\"\xC3\xA9\"\n\"\\u00e9\"\n",               {}
%! };
%! for i = 1:rows (cases)
%!   f = put (cases{i, 1});
%!   unwind_protect
%!     want = loadledger (f, "Lines", true, cases{i, 2}{:});
%!     text = bytes_of (f);
%!     for n = [1 2 1000]
%!       [got, line, offset] = stream_all (f, n, cases{i, 2}{:});
%!       assert (isequaln (got, want), "case %d, batches of %d", i, n);
%!       lf = [0, find(text == "\n")];
%!       for k = 1:numel (got)
%!         assert (lf(line(k)) <= offset(k) && (line(k) == numel (lf) || offset(k) < lf(line(k) + 1)));
%!         assert (! any (text(offset(k) + 1) == " \t\r\n"));
%!       endfor
%!     endfor
%!   unwind_protect_cleanup
%!     delete (f);
%!   end_unwind_protect
%! endfor

## The elements of one array, and documents one after another, are the
## values loadledger reads.
%!test
%! f = put ("  [ {\"a\": [1, {\"b\": \"]\"}]},\n 2 , \"x,]\" ,\n[[], {}], null\n]  \n");
%! unwind_protect
%!   want = loadledger (f);
%!   for n = [1 3 100]
%!     [got, line, offset] = stream_all (f, n, "Array", true);
%!     assert (isequaln (got, want));
%!     assert (line', [1 2 2 3 3]);
%!     assert (offset', [4 29 33 41 51]);
%!   endfor
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect
%! f = put ("[1, 2, /* c */ ] // end", ".json");
%! unwind_protect
%!   assert (stream_all (f, 1, "Array", true, "Comments", true, "TrailingCommas", true), {1; 2});
%!   assert (stream_all (put ("[]"), 5, "Array", true), cell (0, 1));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect
%! f = put ("{\"a\":\n 1}[2]\"x\" 3\n\n{\"b\": [true, null]}\n4");
%! unwind_protect
%!   [got, line] = stream_all (f, 2, "Lines", false);
%!   assert (isequaln (got, loadledger (put ("[{\"a\":1},[2],\"x\",3,{\"b\":[true,null]},4]"))));
%!   assert (line', [1 2 2 2 4 5]);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

## "Plain" gives each record as ledgerplain makes it.
%!test
%! f = put ("{\"a\":[1,2]}\n[1,\"x\"]\n");
%! unwind_protect
%!   got = stream_all (f, 10, "Plain", true);
%!   assert (got, cellfun (@ledgerplain, loadledger (f, "Lines", true), "UniformOutput", false));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

## A bad record: raised with loadledger's message and place, nothing
## consumed; with two outputs the records before it, and the next read goes
## on after it.
%!test
%! f = put ("1\n2\n[3 4]\n5\n6\n");
%! unwind_protect
%!   s = ledgerstream (f);
%!   assert (read (s, 1), {1});
%!   [~, m] = loadledger (f, "Lines", true);
%!   place = regexp (m, "missing .*$", "match", "once");
%!   try
%!     read (s, 10);
%!     error ("no error");
%!   catch e
%!     assert (e.identifier, "ledgerkit:parse");
%!     assert (e.message, ["ledgerstream: " f ": " place]);
%!   end_try_catch
%!   [r, m2] = read (s, 10);
%!   assert (r, {2});
%!   assert (m2, ["ledgerstream: " f ": " place]);
%!   [r, m2] = read (s, 10);
%!   assert (r, {5; 6});
%!   assert (m2, "");
%!   assert (s.Line', [4 5]);
%!   assert (done (s));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect
%! ## In an array the next element follows the bad one.
%! f = put ("[1, [2 3], {\"a\": 4}, 5]");
%! unwind_protect
%!   s = ledgerstream (f, "Array", true);
%!   [r, m] = read (s, 10);
%!   assert (r, {1});
%!   assert (m, ["ledgerstream: " f ": missing ',' or ']' in an array at line 1, column 8."]);
%!   [r, m] = read (s, 10);
%!   assert (numel (r), 2);
%!   assert (r{2}, 5);
%!   assert (m, "");
%!   assert (done (s));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

## A last record cut short is named so, stays unread, and is read once the
## file is whole.
%!test
%! f = put ("1\n{\"a\": [1, 2");
%! unwind_protect
%!   s = ledgerstream (f);
%!   [r, m] = read (s, 10);
%!   assert (r, {1});
%!   assert (m, ["ledgerstream: " f ": the last record is cut short: the text ends inside it at line 2, column 12."]);
%!   assert (! done (s));
%!   fid = fopen (f, "a");
%!   fputs (fid, "]}\n");
%!   fclose (fid);
%!   r = read (s, 10);
%!   assert (r{1}.values, {{1; 2}});
%!   assert (done (s));
%!   for cut = {"tru", "\"ab", "-", "1.", "{\"a\"", "[1,", "\"\\u00"}
%!     f2 = put (["1\n" cut{1}]);
%!     s = ledgerstream (f2);
%!     try
%!       read (s, 2);
%!       error ("no error");
%!     catch e
%!       assert (e.identifier, "ledgerkit:parse");
%!       assert (! isempty (strfind (e.message, "cut short")), e.message);
%!     end_try_catch
%!     delete (f2);
%!   endfor
%!   f2 = put ("[1, 2");
%!   s = ledgerstream (f2, "Array", true);
%!   [r, m] = read (s, 10);
%!   assert (r, {1; 2}(1:numel (r)));
%!   assert (! isempty (strfind (m, "cut short")));
%!   delete (f2);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

## Records that span the buffer's refills, and a long single line.
%!test
%! rec = ["{\"k\": \"" repmat("a", 1, 3000) "\", \"n\": [1, 2.5, true]}"];
%! f = put ([strjoin(repmat ({rec}, 1, 4000), "\n") "\n"]);
%! unwind_protect
%!   want = loadledger (f, "Lines", true);
%!   assert (isequal (stream_all (f, 999), want));
%!   g = put (["[" strjoin(repmat ({rec}, 1, 4000), ",") "]"]);
%!   assert (isequal (stream_all (g, 1000, "Array", true), want));
%!   h = put (strjoin (repmat ({rec}, 1, 4000), " "));
%!   assert (isequal (stream_all (h, 1000, "Lines", false), want));
%!   ## A fault's column counts from the start of its line, far back.
%!   bad = put (["[" strjoin(repmat ({rec}, 1, 3000), ",") ", x]"]);
%!   [~, m] = loadledger (bad);
%!   s = ledgerstream (bad, "Array", true);
%!   [r, m2] = read (s, 1e4);
%!   assert (numel (r), 3000);
%!   assert (regexp (m2, "at line.*$", "match", "once"), regexp (m, "at line.*$", "match", "once"));
%!   delete (g); delete (h); delete (bad);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

## gzip: written for names in .gz, read by its magic bytes whatever the
## name, members appended one after another.
%!test
%! recs = {struct("keys", {{"a"}}, "values", {{1}}); {2; "x"}; "\xC3\xA9"};
%! f = [tempname() ".jsonl.gz"];
%! unwind_protect
%!   saveledger (recs, f, "Lines", true);
%!   b = bytes_of (f);
%!   assert (double (b(1:2)), [31 139]);
%!   assert (isequal (loadledger (f, "Lines", true), recs));
%!   assert (isequal (stream_all (f, 2), recs));
%!   saveledger ({5}, f, "Lines", true, "Append", true);
%!   assert (isequal (loadledger (f, "Lines", true), [recs; {5}]));
%!   assert (isequal (stream_all (f, 1), [recs; {5}]));
%!   g = put (b, ".json");
%!   assert (isequal (loadledger (g, "Lines", true), recs));
%!   delete (g);
%!   ## One document, pretty.
%!   saveledger (recs, f, "Pretty", true);
%!   assert (isequal (loadledger (f), recs));
%!   ## Damaged data is a fault of the file.
%!   g = put ([b(1:end-20) "junkjunkjunk"]);
%!   [t, m] = loadledger (g);
%!   assert (! isempty (strfind (m, "gzip data")), m);
%!   s = ledgerstream (g);
%!   [r, m] = read (s, 10);
%!   assert (! isempty (strfind (m, "gzip data")), m);
%!   delete (g);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

## Append: records added at the end, a line feed first where the file has
## none; a value that cannot be written leaves the file as it was.
%!test
%! f = put ("1\n2");
%! unwind_protect
%!   saveledger ({3; {4}}, f, "Lines", true, "Append", true);
%!   assert (bytes_of (f), "1\n2\n3.0\n[4.0]\n");
%!   before = bytes_of (f);
%!   try
%!     saveledger ({5; @sin}, f, "Lines", true, "Append", true);
%!     error ("no error");
%!   catch e
%!     assert (e.identifier, "ledgerkit:tree");
%!   end_try_catch
%!   assert (bytes_of (f), before);
%!   g = [tempname() ".jsonl"];
%!   saveledger ({1}, g, "Lines", true, "Append", true);
%!   assert (bytes_of (g), "1.0\n");
%!   delete (g);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect
%!error <'Append' needs 'Lines'> saveledger (1, [tempname() ".json"], "Append", true)

## Arguments and a closed stream.
%!test
%! f = put ("1\n");
%! unwind_protect
%!   s = ledgerstream (f);
%!   n = __ledgerstream__ ("count");
%!   close (s);
%!   assert (__ledgerstream__ ("count"), n - 1);
%!   try
%!     read (s, 1);
%!     error ("no error");
%!   catch e
%!     assert (e.message, "ledgerstream: the stream is closed.");
%!   end_try_catch
%!   s = ledgerstream (f);
%!   clear s
%!   assert (__ledgerstream__ ("count"), n - 1);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect
%!error <unable to open the file> ledgerstream ("/nonexistent/x.jsonl")
%!error <a device, not a file> ledgerstream ("/dev/zero")
%!error <unknown option 'Pretty'> ledgerstream ("/dev/null", "Pretty", true)
%!test
%! f = put ("{\"a\": 1}");
%! unwind_protect
%!   s = ledgerstream (f, "Array", true);
%!   [r, m] = read (s, 1);
%!   assert (m, ["ledgerstream: " f ": with the option Array the text must be one array at line 1, column 1."]);
%!   g = put ("[1] 2");
%!   s = ledgerstream (g, "Array", true);
%!   [r, m] = read (s, 5);
%!   assert (r, {1});
%!   assert (m, ["ledgerstream: " g ": unexpected text after the value at line 1, column 5."]);
%!   delete (g);
%!   s = ledgerstream (f);
%!   fail ("read (s, -1)", "N must be a whole number");
%!   fail ("read (s, 1.5)", "N must be a whole number");
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect
