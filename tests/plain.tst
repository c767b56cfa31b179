## "Plain" reading against its reference: ledgerdecode (TEXT, "Plain", true)
## must be exactly ledgerplain (ledgerdecode (TEXT)) (class, size, field
## names in order, every element) on documents of every shape, the shipped
## sample and fuzz seeds, and thousands of seeded random documents; a fault
## must be reported as the tree path reports it.

## The same value: class, size, field names in order, and every element.
%!function same (a, b, where = "")
%!  if (! strcmp (class (a), class (b)))
%!    error ("at %s: class %s, not %s", where, class (a), class (b));
%!  elseif (! isequal (size (a), size (b)))
%!    error ("at %s: size %s, not %s", where, mat2str (size (a)), mat2str (size (b)));
%!  elseif (isstruct (a))
%!    if (! isequal (fieldnames (a), fieldnames (b)))
%!      error ("at %s: fields differ", where);
%!    endif
%!    f = fieldnames (a);
%!    for i = 1:numel (a)
%!      for j = 1:numel (f)
%!        same (a(i).(f{j}), b(i).(f{j}), sprintf ("%s(%d).%s", where, i, f{j}));
%!      endfor
%!    endfor
%!  elseif (iscell (a))
%!    for i = 1:numel (a)
%!      same (a{i}, b{i}, sprintf ("%s{%d}", where, i));
%!    endfor
%!  elseif (ischar (a))
%!    if (! strcmp (typeinfo (a), typeinfo (b)) || ! isequal (a, b))
%!      error ("at %s: texts differ", where);
%!    endif
%!  elseif (! isequaln (a, b) || ! isequal (signbit (double (a)), signbit (double (b))))
%!    error ("at %s: values differ", where);
%!  endif
%!endfunction

## TEXT read both ways, with the options given, must agree, faults too.
%!function check (text, varargin)
%!  [t, m1, w1] = ledgerdecode (text, varargin{:});
%!  [p, m2, w2] = ledgerdecode (text, "Plain", true, varargin{:});
%!  if (! strcmp (m1, m2) || ! isequal (w1, w2))
%!    error ("faults differ for %s: '%s' and '%s'", text(1:min (end, 60)), m1, m2);
%!  endif
%!  if (isempty (m1))
%!    same (p, ledgerplain (t), text(1:min (end, 60)));
%!  else
%!    assert (p, []);
%!  endif
%!endfunction

## Documents of every shape that ledgerplain tells apart.
%!test
%! docs = {
%!   '{"a":1,"b":[1,2,null],"c":[[1,2],[3,4]],"d":[{"x":1},{"x":2}],"e":"t","f":null,"g":true,"h":[true,false],"a":5}', ...
%!   '[1,"a",{}]', '[]', '{}', '[{},{}]', '[[],[]]', '[[1],[2,3]]', '[[[1,2],[3,4]],[[5,6],[7,8]]]', ...
%!   '[9007199254740993, 9007199254740994]', '[1, 9007199254740993]', '[-9007199254740993, 9007199254740993]', ...
%!   '[[9007199254740993],[9007199254740995]]', '[[9007199254740993],[1]]', '[[1],[true]]', ...
%!   '[[true,false],[false,true]]', '[{"a":1,"b":2},{"b":1,"a":2}]', '[{"a":1,"a":2},{"a":3}]', ...
%!   '[{"a":1,"b":2,"a":3},{"a":4,"b":5}]', '"x"', '""', 'null', '3.5', '-0', '[-0, 0]', '[null,null]', ...
%!   '[[null],[1]]', '[[{"a":1}],[{"a":2}]]', '[[{"a":1}],[{"b":2}]]', '[[[]],[[]]]', '[[1,2],[3]]', ...
%!   '[[[1],[2]],[[3],[4]]]', '[[[1,2]],[[3,4]],[[5,6]]]', '[[[1,2],[3,4]],[[5,6]]]', '[[1,null],[null,2]]', ...
%!   '{"a b":1, "1x":2, "":3, "\u00e9":4}', '[{"":1},{"":2}]', '[["a"],["b"]]', '[["a","b"],["c","d"]]', ...
%!   '[{"a":[1,2]},{"a":[3,4]}]', '[{"a":{"b":1}},{"a":{"b":2}}]', '[true, 1]', '[true, null]', '["a", null]', ...
%!   '[[], [1]]', '[{}, []]', '{"k":{"k":{"k":[{"k":[]}]}}}', '[[[]]]', '[1e400, -1e400, 5e-324]', ...
%!   '[1.7976931348623157e308, 0.1, 123456789012345678]', '["\u0000", "a\"b\\c"]'
%! };
%! for i = 1:numel (docs)
%!   check (docs{i});
%! endfor

## The options of reading change the same text alike in both forms.
%!test
%! check ('[1, 2, 3000000000]', "Integers", true);
%! check ('[[1, 2], [3, 4]]', "Integers", true);
%! check ('[1, -0, 2]', "Integers", true);
%! check ('[1, 18446744073709551615]', "Integers", true);
%! check ('[NaN, Infinity, -Inf, 1]', "InfNaN", true);
%! check ("[1, // c\n 2,]", "Comments", true, "TrailingCommas", true);
%! check ('[[[[1]]]]', "MaxDepth", 4);

## Faults: the same message, line and column, and identifier.
%!test
%! bad = {"", "[1 2]", "{\"a\":1,}", "[1,2,]", "{\"a\" 1}", "\"\\u12\"", "01", ...
%!        "[\n  {\"a\": [1, 2}\n]", "\xFE\xFF[]", "[[[1]]] x", "{\"a\":[1,{\"b\":nul}]}", ...
%!        repmat("[", 1, 100)};
%! for i = 1:numel (bad)
%!   check (bad{i});
%! endfor
%! check ('[[[[1]]]]', "MaxDepth", 3);
%! try
%!   ledgerdecode ("[1 2]", "Plain", true);
%!   error ("no error raised");
%! catch err
%!   assert (err.identifier, "ledgerkit:parse");
%!   assert (err.message, "ledgerdecode: missing ',' or ']' in an array at line 1, column 4.");
%! end_try_catch

## The shipped sample and the fuzz seeds (where the work tree has them).
%!test
%! top = fileparts (fileparts (which ("ledgerdecode")));
%! files = [glob(fullfile (top, "demo", "*.json")); glob(fullfile (top, "fuzz", "seeds", "reader", "*"))];
%! for i = 1:numel (files)
%!   text = fileread (files{i});
%!   check (text);
%!   check (text, "Comments", true, "TrailingCommas", true, "InfNaN", true);
%! endfor

## Seeded random documents: arrays that join or not, objects with the same
## keys or not, repeated keys, the kinds of numbers, text with escapes.
%!function s = random_value (depth)
%!  r = randi (12);
%!  if (depth <= 0 && r > 6)
%!    r = randi (6);
%!  endif
%!  switch (r)
%!    case 1
%!      s = sprintf ("%d", randi ([-5 5]));
%!    case 2
%!      s = sprintf ("%.17g", randn () * 10 ^ randi ([-5 5]));
%!    case 3
%!      s = {"null", "true", "false"}{randi (3)};
%!    case 4
%!      s = {"9007199254740993", "-9007199254740993", "18446744073709551615", "123456789012345678901"}{randi (4)};
%!    case 5
%!      s = {'""', '"a"', '"\n\u00e9"', '"b\"c"'}{randi (4)};
%!    case 6
%!      s = {"[]", "{}"}{randi (2)};
%!    case {7, 8}
%!      ## An array of like elements, often of one shape.
%!      n = randi ([1 4]);
%!      kind = randi (5);
%!      parts = cell (1, n);
%!      for i = 1:n
%!        switch (kind)
%!          case 1
%!            parts{i} = sprintf ("%d", randi (9));
%!          case 2
%!            parts{i} = {"true", "false"}{randi (2)};
%!          case 3
%!            parts{i} = random_object (depth - 1, {"a", "b", "c"}(1:randi (3)));
%!          otherwise
%!            parts{i} = random_value (depth - 1);
%!        endswitch
%!      endfor
%!      if (kind == 4)
%!        ## Rows of numbers of one length, or arrays of one shape.
%!        m = randi ([0 3]);
%!        inner = repmat ({""}, 1, n);
%!        for i = 1:n
%!          inner{i} = ["[" strjoin(arrayfun (@(k) random_scalar (), 1:m, "UniformOutput", false), ",") "]"];
%!        endfor
%!        parts = inner;
%!      endif
%!      s = ["[" strjoin(parts, ",") "]"];
%!    case {9, 10}
%!      s = random_object (depth - 1, {"a", "b", "c", "a b", "", "x"}(randperm (6, randi ([1 4]))));
%!    otherwise
%!      n = randi ([1 3]);
%!      parts = cell (1, n);
%!      for i = 1:n
%!        parts{i} = random_value (depth - 1);
%!      endfor
%!      s = ["[" strjoin(parts, ",") "]"];
%!  endswitch
%!endfunction
%!function s = random_scalar ()
%!  s = {"1", "2.5", "null", "-3", "true", "9007199254740993"}{randi ([1 (3 + (rand () < 0.1) * 3)])};
%!endfunction
%!function s = random_object (depth, keys)
%!  if (rand () < 0.2)
%!    keys{end+1} = keys{1};
%!  endif
%!  parts = cell (1, numel (keys));
%!  for i = 1:numel (keys)
%!    parts{i} = sprintf ('"%s":%s', keys{i}, random_value (depth));
%!  endfor
%!  s = ["{" strjoin(parts, ",") "}"];
%!endfunction

%!test
%! rand ("seed", 18);
%! randn ("seed", 18);
%! for i = 1:2000
%!   check (random_value (4));
%! endfor

## Keys made valid names: the interpreter's matlab.lang.makeValidName is
## the reference for every style and prefix.
%!test
%! keys = {"a", "a b", "1x", "_c", "for", "end", "a-b", "", "x y z", ...
%!         "ab__", "A1", repmat("k", 1, 70), "$x", "if "};
%! ## Octave 6's function treats the bytes of a UTF-8 character apart, and
%! ## not alike from one call to the next: the oracle holds from Octave 7.
%! if (compare_versions (OCTAVE_VERSION, "7.0.0", ">="))
%!   keys{end+1} = "é";
%! endif
%! opts = {{}, {"ReplacementStyle", "delete"}, {"ReplacementStyle", "hex"}, ...
%!         {"Prefix", "y"}, {"ReplacementStyle", "hex", "Prefix", "Q_"}};
%! for k = 1:numel (keys)
%!   for o = 1:numel (opts)
%!     v = ledgerdecode (sprintf ('{"%s": 1}', keys{k}), "Plain", true,
%!                       "makeValidName", true, opts{o}{:});
%!     assert (fieldnames (v), {matlab.lang.makeValidName(keys{k}, opts{o}{:})});
%!   endfor
%! endfor
%! ## Keys that make the same name are one field, the last member kept.
%! v = ledgerdecode ('{"a b": 1, "a_b": 2, "aB": 3}', "Plain", true, "makeValidName", true);
%! assert (fieldnames (v), {"aB"; "a_b"});
%! assert ([v.aB, v.a_b], [3, 2]);
%! ## Objects whose keys make the same names join into a struct array.
%! v = ledgerdecode ('[{"a b": 1}, {"aB": 2}]', "Plain", true, "makeValidName", true);
%! assert (size (v), [2 1]);
%! assert ([v.aB], [1 2]);
%! ## Without the option keys are field names as written.
%! assert (fieldnames (ledgerdecode ('{"a b": 1}', "Plain", true)), {"a b"});
%!error <need 'Plain'> ledgerdecode ("{}", "makeValidName", true)
%!error <need 'Plain'> ledgerdecode ("{}", "Prefix", "y")
%!error <'ReplacementStyle' must be> ledgerdecode ("{}", "Plain", true, "ReplacementStyle", "dash")
%!error <'Prefix' must be> ledgerdecode ("{}", "Plain", true, "Prefix", "1")
%!error <'Prefix' must be> ledgerdecode ("{}", "Plain", true, "Prefix", 5)

## Against jsondecode, where the interpreter has it: the same values where
## jsondecode loses nothing.
%!testif ; __ledgerhasjson__ ()
%! text = '{"a b": [1, 2], "s": [{"x": 1}, {"x": 2}], "m": [[1, 2], [3, 4]], "c": [1, "a"], "n": null}';
%! same (ledgerdecode (text, "Plain", true, "makeValidName", true), jsondecode (text));

## JSON Lines: a column of each line's value.
%!test
%! text = sprintf ('[1,2]\n\n{"a":[[1],[2]]}\n"x"\n');
%! v = ledgerdecode (text, "Plain", true, "Lines", true);
%! t = ledgerdecode (text, "Lines", true);
%! assert (size (v), [3 1]);
%! for i = 1:3
%!   same (v{i}, ledgerplain (t{i}));
%! endfor
%! assert (ledgerdecode ("", "Plain", true, "Lines", true), cell (0, 1));
%! [v, m] = ledgerdecode (sprintf ('1\n[2 3]\n'), "Plain", true, "Lines", true);
%! assert (m, "ledgerdecode: missing ',' or ']' in an array at line 2, column 4.");

## Files: one, many in one call, with "Plain".
%!test
%! d = tempname ();
%! mkdir (d);
%! unwind_protect
%!   names = {fullfile(d, "a.json"), fullfile(d, "b.json"); fullfile(d, "c.json"), fullfile(d, "a.json")};
%!   texts = {'{"a":[1,2]}', '[1 2]'; '', ''};
%!   for i = 1:2
%!     fid = fopen (names{1, i}, "w");
%!     fputs (fid, texts{1, i});
%!     fclose (fid);
%!   endfor
%!   same (loadledger (names{1}, "Plain", true), struct ("a", [1; 2]));
%!   same (loadledger ({names{1}}), {ledgerdecode(texts{1})});
%!   same (loadledger ({names{1}; names{1}}, "Plain", true), {struct("a", [1; 2]); struct("a", [1; 2])});
%!   same (loadledger (cell (0, 3)), cell (0, 3));
%!   [v, m, w] = loadledger (names, "Plain", true);
%!   assert (size (v), [2 2]);
%!   same (v{1, 1}, struct ("a", [1; 2]));
%!   same (v{2, 2}, v{1, 1});
%!   assert (v{1, 2}, []);
%!   assert (v{2, 1}, []);
%!   assert (m{1, 1}, "");
%!   assert (m{2, 2}, "");
%!   assert (m{1, 2}, ["loadledger: " names{1, 2} ": missing ',' or ']' in an array at line 1, column 4."]);
%!   assert (strncmp (m{2, 1}, "loadledger: ", 12) && ! isempty (strfind (m{2, 1}, names{2, 1})));
%!   assert (w{1, 2}, [1 4]);
%!   assert (w{2, 1}, []);
%!   ## Raised: the first file that fails, named.
%!   try
%!     loadledger (names, "Plain", true);
%!     error ("no error raised");
%!   catch err
%!     assert (err.identifier, "ledgerkit:io");
%!     assert (! isempty (strfind (err.message, names{2, 1})));
%!   end_try_catch
%!   try
%!     loadledger (names(1, :));
%!     error ("no error raised");
%!   catch err
%!     assert (err.identifier, "ledgerkit:parse");
%!     assert (! isempty (strfind (err.message, names{1, 2})));
%!   end_try_catch
%! unwind_protect_cleanup
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect
%!error <each name in FILES must be a character row> loadledger ({"a.json", 1})
