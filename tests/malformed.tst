## Copyright (C) 2026 ledgerkit developers
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## One set of tree rules for every function that takes a tree: each
## malformed tree is refused by all of them with the identifier
## ledgerkit:tree and the same words and place, "WHO: WHAT (PLACE).".

%!function t = obj (k, v)
%!  t = struct ("keys", {k(:)}, "values", {v(:)});
%!endfunction

## The table: the tree, the fault's words and place, the JSON Pointer of
## the node at fault (a path ledgerget and ledgerset walk to it), and
## whether it is a fault of a tree only: an ordinary value, which ledgertree
## lays out and ledgerencode writes as ledgertree would, may hold the same
## struct or char matrix soundly.
%!function c = malformed ()
%!  top = "(at the top of the tree).";
%!  fh = "a 1x1 function_handle cannot be written as JSON";
%!  nokey = "a key must be one text, one number or one logical value, not";
%!  ktop = "(key 1 of the object at the top of the tree).";
%!  arr = "array is not an object: an object is one struct with the fields 'keys' and 'values'";
%!  servers = obj ({"servers"}, {{obj({"port"}, {1}), obj({"port"}, {@sin})}});
%!  pairs = struct ("keys", {{"a"}, {"b"}}, "values", {{1}, {2}});
%!  c = {
%!    @sin,                            [fh " " top],                        "",                false
%!    {1, @sin},                       [fh " (at /1)."],                    "/1",              false
%!    servers,                         [fh " (at /servers/1/port)."],       "/servers/1/port", false
%!    obj({"a/b", "c~"}, {1, {inputParser()}}), "a 1x1 inputParser cannot be written as JSON (at /c~0/0).", "/c~0/0", false
%!    obj({"a"}, {{1, @sin}}),          [fh " (at /a/1)."],                  "/a/1",            false
%!    {containers.Map()},              "a 1x1 containers.Map cannot be written as JSON (at /0).", "/0", true
%!    containers.Map(),                ["a 1x1 containers.Map cannot be written as JSON " top], "", true
%!    1+2i,                            ["a complex number with the imaginary part 2 cannot be written " top], "", false
%!    obj({"a/b"}, {1+2i}),            "a complex number with the imaginary part 2 cannot be written (at /a~1b).", "/a~1b", false
%!    [1 2+1i],                        "a complex number with the imaginary part 1 cannot be written (at /1).", "", false
%!    complex(0, NaN),                 ["a complex number with the imaginary part NaN cannot be written " top], "", false
%!    {sparse([0 0 1i])},              "a complex number with the imaginary part 1 cannot be written (at /0/2).", "/0", false
%!    obj({1i}, {1}),                  ["a complex number with the imaginary part 1 cannot be written " ktop], "", false
%!    ["ab"; "cd"],                    ["a 2x2 char array is not one row of text " top], "", true
%!    {"ab"; ["a"; "b"]},              "a 2x1 char array is not one row of text (at /1).", "/1", true
%!    obj({"a"}, {["ab"; "cd"]}),      "a 2x2 char array is not one row of text (at /a).", "/a", false
%!    char(zeros(2, 0)),               ["a 2x0 char array is not one row of text " top], "", true
%!    char(zeros(1, 1, 2)),            ["a 1x1x2 char array is not one row of text " top], "", true
%!    char(zeros(0, 0, 2)),            ["a 0x0x2 char array is not one row of text " top], "", true
%!    obj({"a", [1 2]}, {1, 2}),       [nokey " a 1x2 double (key 2 of the object at the top of the tree)."], "", false
%!    obj({int8([5 6 7])}, {1}),       [nokey " a 1x3 int8 " ktop], "", false
%!    obj({[1 NaN]}, {1}),             [nokey " a 1x2 double " ktop], "", false
%!    obj({true(1, 3)}, {1}),          [nokey " a 1x3 logical " ktop], "", false
%!    obj({"x"}, {obj({{}}, {1})}),    [nokey " a 0x0 cell (key 1 of the object at /x)."], "/x", false
%!    obj({["ab"; "cd"]}, {1}),        [nokey " a 2x2 char array " ktop], "", false
%!    obj({@sin}, {1}),                [nokey " a 1x1 function_handle " ktop], "", false
%!    obj({zeros(1, 0)}, {1}),         [nokey " a 1x0 double " ktop], "", false
%!    obj({"a"}, {1, 2}),              ["an object has more values than keys (keys: 1, values: 2) " top], "", false
%!    obj({"a", "b"}, {1}),            ["an object has fewer values than keys (keys: 2, values: 1) " top], "", false
%!    struct("keys", {{"a"; "b"}}, "values", {{5}}), ["an object has fewer values than keys (keys: 2, values: 1) " top], "", false
%!    {obj({"a","b","c"}, {1,2,3,4})}, "an object has more values than keys (keys: 3, values: 4) (at /0).", "/0", false
%!    struct("keys", {{"a"}}),         ["an object needs the fields 'keys' and 'values' and no others " top], "", true
%!    struct("key", {{"a"}}, "values", {{1}}), ["an object needs the fields 'keys' and 'values' and no others " top], "", true
%!    struct("keys", {{"a"}}, "values", {{1}}, "x", 2), ["an object needs the fields 'keys' and 'values' and no others " top], "", true
%!    obj({"a"}, {struct("x", 1)}),    "an object needs the fields 'keys' and 'values' and no others (at /a).", "/a", false
%!    struct("keys", 1, "values", {{1}}), ["the field 'keys' of an object must be a cell array, not a 1x1 double " top], "", true
%!    struct("keys", {{"a"}}, "values", 1), ["the field 'values' of an object must be a cell array, not a 1x1 double " top], "", true
%!    {struct("keys", {}, "values", {})}, ["a 0x0 struct " arr " (at /0)."], "/0", false
%!    pairs,                           ["a 1x2 struct " arr " " top],      "",                false
%!    obj({"a"}, {pairs}),             ["a 1x2 struct " arr " (at /a)."],  "/a",              false
%!    {1; pairs},                      ["a 1x2 struct " arr " (at /1)."],  "/1",              false
%!  };
%!endfunction

## The refusal of one call, or the message of what went wrong instead.
%!function why = refusal (f, expected)
%!  why = "";
%!  try
%!    f ();
%!    why = "no error";
%!  catch err
%!    if (! strcmp (err.identifier, "ledgerkit:tree"))
%!      why = sprintf ("identifier %s: %s", err.identifier, err.message);
%!    elseif (! strcmp (err.message, expected))
%!      why = err.message;
%!    endif
%!  end_try_catch
%!endfunction

## The converter's functions.
%!test
%! c = malformed ();
%! bad = {};
%! for i = 1:rows (c)
%!   [t, what, node, tree_only] = c{i,:};
%!   calls = {
%!     "ledgerplain", @() ledgerplain (t)
%!     "ledgerget",   @() ledgerget (t, node)
%!     "ledgerget",   @() ledgerget (t, [node "/0"])
%!     "ledgerset",   @() ledgerset (t, [node "/0"], 1)
%!   };
%!   if (! tree_only)
%!     calls(end+1:end+4,:) = {
%!       "ledgertree", @() ledgertree (t)
%!       "ledgertree", @() ledgertree ({t})
%!       "ledgerset",  @() ledgerset (1, "", t)
%!       "ledgerset",  @() ledgerset ({}, {}, t)
%!     };
%!   endif
%!   for j = 1:rows (calls)
%!     if (j == 6)
%!       expected = strrep (strrep (what, "at /", "at /0/"),
%!                          "at the top of the tree", "at /0");
%!     else
%!       expected = what;
%!     endif
%!     why = refusal (calls{j,2}, [calls{j,1} ": " expected]);
%!     if (! isempty (why))
%!       bad{end+1} = sprintf ("row %d, %s: %s", i, func2str (calls{j,2}), why);
%!     endif
%!   endfor
%! endfor
%! assert (strjoin (bad, "\n"), "");

## The writer's functions: a tree is written as it stands, or refused in
## the same words.
%!test
%! c = malformed ();
%! file = [tempname() ".json"];
%! bad = {};
%! for i = 1:rows (c)
%!   [t, what, node, tree_only] = c{i,:};
%!   if (tree_only)
%!     continue;    # an ordinary value: ledgerencode lays it out
%!   endif
%!   for f = {"ledgerencode", @() ledgerencode (t); "saveledger", @() saveledger (t, file)}.'
%!     why = refusal (f{2}, [f{1} ": " what]);
%!     if (! isempty (why))
%!       bad{end+1} = sprintf ("row %d, %s: %s", i, f{1}, why);
%!     endif
%!   endfor
%!   if (exist (file, "file"))
%!     bad{end+1} = sprintf ("row %d, saveledger: the file was written", i);
%!     unlink (file);
%!   endif
%! endfor
%! assert (strjoin (bad, "\n"), "");

## The faults of the converter that lost or corrupted data, or crashed.
%!test
%! ## ledgerset adds to an object or array of one member as a column.
%! t = ledgerset (ledgerdecode ('{"a":5}'), "/c", 1);
%! assert (size (t.keys), [2 1]);
%! assert (size (t.values), [2 1]);
%! assert (ledgerencode (t), '{"a":5.0,"c":1.0}');
%! assert (size (ledgerset (ledgerdecode ('[5]'), "/-", 1)), [2 1]);
%! assert (size (ledgerset ({5}, "/-", 1)), [2 1]);
%! ## A hand-built object of rows becomes columns; a row array of two
%! ## elements or more stays a row.
%! t = struct ("keys", {{"a", "b"}}, "values", {{1, {1, 2}}});
%! u = ledgerset (t, "/b/-", 3);
%! assert (size (u.keys), [2 1]);
%! assert (u.values{2}, {1, 2, 3});
%! assert (size (ledgerset (t, "/a", 2).values), [2 1]);
%!test
%! ## A path position of 2^53 or beyond is past the end of any array.
%! t = {1; 2};
%! for p = {2^53, 2^53 + 2, 1e300, uint64(18446744073709551615), int64(9223372036854775807)}
%!   [v, found] = ledgerget (t, p);
%!   assert (found, false);
%! endfor
%! cases = {
%!   2^53,                          "9007199254740992"
%!   1e300,                         "1e300"
%!   uint64(18446744073709551615),  "18446744073709551615"
%!   int64(-9223372036854775807)-1, "-9223372036854775808"
%! };
%! for i = 1:rows (cases)
%!   try
%!     ledgerget (t, cases(i,1));
%!     error ("no error");
%!   catch err
%!     assert (err.identifier, "ledgerkit:path");
%!     if (cases{i,1} > 0)
%!       assert (err.message, sprintf ("ledgerget: no element %s in the array of 2 elements at the root", cases{i,2}));
%!     else
%!       assert (err.message, sprintf ("ledgerget: step 1 of the path must be a text key or a positive whole number, not %s", cases{i,2}));
%!     endif
%!   end_try_catch
%! endfor
%! try
%!   ledgerset (t, {uint64(18446744073709551615)}, 1);
%!   error ("no error");
%! catch err
%!   assert (err.message, "ledgerset: no element 18446744073709551615 in the array of 2 elements at the root");
%! end_try_catch
%!error <ledgerget: step 1 of the path must be a text key or a positive whole number, not Inf> ledgerget ({1}, {Inf})
%!test
%! ## Paths of any depth: ledgerget and ledgerset walk from the heap.
%! n = 25000;
%! o = 1;
%! for i = 1:n
%!   o = struct ("keys", {{"k"}}, "values", {{o}});
%! endfor
%! path = repmat ({"k"}, 1, n);
%! assert (ledgerget (o, path), 1);
%! u = ledgerset (o, path, 5);
%! assert (ledgerget (u, path), 5);
%! assert (ledgerget (o, path), 1);
%! p = [path(1:end-1) {"new"}];
%! assert (ledgerget (ledgerset (o, p, 6), p), 6);

## Keys named the same by every function: the writer's key text is the
## field name ledgerplain gives and the key ledgerget finds, for every
## power of two and for random doubles of every kind.
%!test
%! rand ("seed", 11);
%! x = [2 .^ (-1074:1023), -2 .^ (-1074:1023)];
%! bits = uint64 (floor (rand (1, 10000) * 2^32)) * uint64 (2^32) ...
%!        + uint64 (floor (rand (1, 10000) * 2^32));
%! x = [x, typecast(bits, "double"), 0, -0, Inf, -Inf, NaN, 1e21, 1e-7, 0.1];
%! t = struct ("keys", {num2cell(x(:))}, "values", {num2cell((1:numel (x))')});
%! written = ledgerdecode (ledgerencode (t)).keys;
%! [~, first] = unique (written, "first");
%! first = sort (first);
%! assert (fieldnames (ledgerplain (t)), written(first));
%! for i = 1:numel (x)
%!   one = struct ("keys", {{x(i)}}, "values", {{i}});
%!   [v, found] = ledgerget (one, {written{i}});
%!   assert (found && v == i, "key %s of %.17g not found", written{i}, x(i));
%! endfor
