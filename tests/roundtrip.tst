## Documents read by __ledgerscan__, written back by __ledgeremit__ and read
## again give the same tree: same classes, sizes and values, every double
## bit for bit.  Trees built by hand come back as JSON can carry them.

%!function t = scan (txt, infnan)
%!  [t, msg] = __ledgerscan__ (txt, false, false, infnan);
%!  assert (msg, "");
%!endfunction

## Fails at the first node where A and B differ, naming its PATH.
%!function same_tree (a, b, path)
%!  if (nargin < 3)
%!    path = "tree";
%!  endif
%!  if (! strcmp (class (a), class (b)))
%!    error ("%s: class %s, expected %s", path, class (b), class (a));
%!  endif
%!  if (! isequal (size (a), size (b)))
%!    error ("%s: size %s, expected %s", path, mat2str (size (b)),
%!           mat2str (size (a)));
%!  endif
%!  if (isstruct (a))
%!    if (! isequal (fieldnames (a), fieldnames (b)))
%!      error ("%s: other fields", path);
%!    endif
%!    f = fieldnames (a);
%!    for i = 1:numel (a)
%!      for j = 1:numel (f)
%!        same_tree (a(i).(f{j}), b(i).(f{j}),
%!                   sprintf ("%s(%d).%s", path, i, f{j}));
%!      endfor
%!    endfor
%!  elseif (iscell (a))
%!    for i = 1:numel (a)
%!      same_tree (a{i}, b{i}, sprintf ("%s{%d}", path, i));
%!    endfor
%!  elseif (isa (a, "double"))
%!    if (! isequal (typecast (a(:), "uint64"), typecast (b(:), "uint64")))
%!      error ("%s: the double %.17g came back as %.17g", path, a, b);
%!    endif
%!  elseif (! isequal (a, b))
%!    error ("%s: another value", path);
%!  endif
%!endfunction

## Each document, written compact and pretty and read back; the text made
## in memory is the file's bytes.
%!function round_trip (doc, infnan)
%!  t = scan (doc, infnan);
%!  for pretty = [false true]
%!    for preserve = unique ([false infnan])
%!      assert (emit_tree (t, pretty, preserve),
%!              emit_tree (t, pretty, preserve));
%!    endfor
%!    same_tree (t, scan (emit_tree (t, pretty, infnan), infnan),
%!               sprintf ("%s (pretty %d)", doc(1:min (end, 40)), pretty));
%!  endfor
%!endfunction

%!test
%! deep_array = [repmat("[", 1, 65), repmat("]", 1, 65)];
%! deep_object = [repmat('{"k":', 1, 64), "1.5", repmat("}", 1, 64)];
%! deep_mixed = [repmat('[{"k":', 1, 32), "true", repmat("}]", 1, 32)];
%! docs = {
%!   '{"a":[1,2.5,"x"],"b":null}'
%!   "true"
%!   "false"
%!   "null"
%!   "5"
%!   '"text"'
%!   '""'
%!   "[]"
%!   "{}"
%!   "[[]]"
%!   "[{}]"
%!   '{"":{},"e":[],"n":null,"t":true,"f":false}'
%!   '{"a":1,"a":2,"a":{"a":[],"a":"a"}}'
%!   "[9007199254740992,9007199254740993,9007199254740994]"
%!   "[-9007199254740992,-9007199254740993,-9223372036854775808]"
%!   "[18446744073709551615,18446744073709551616,-9223372036854775809]"
%!   "[9223372036854775807,9223372036854775808,9007199254740993.0]"
%!   '"\"\\\/\b\f\n\r\t\u0000\u001f\u007f\u00e9\u20ac\ud83d\ude00\udbff\udfff"'
%!   '{"tab\there":"quote\"here","\u0000":"\\"}'
%!   ['"' char([195 169 226 130 172 240 159 152 128 127]) '"']
%!   ['{"' char([195 169]) '":["' char([226 130 172]) '"]}']
%!   deep_array
%!   deep_object
%!   deep_mixed
%!   "[5e-324,2.225073858507201e-308,2.2250738585072014e-308]"
%!   "[1.7976931348623157e308,-1.7976931348623157e308,1e-400,-1e-400]"
%!   "[0,-0,0.0,-0.0,0.1,0.30000000000000004,1e21,1e20,1e-7,1e-6]"
%!   "[123456789012345680000,5.6843418860808015e-14,1e23,8.41e21]"
%!   "[100,1E2,1e+2,-1.5e-300,4.35,2.5e-7,7.0e-7,1234567.125]"
%! };
%! for i = 1:numel (docs)
%!   round_trip (docs{i}, false);
%! endfor

%!test
%! ## non-finite numbers come back with preserve and infnan
%! round_trip ("[NaN,Infinity,-Infinity,Inf,-Inf,1,1e400,-1e400]", true);
%! round_trip ('{"a":NaN,"b":[-Infinity,{"c":Inf}]}', true);
%! t = scan ("[NaN,Infinity,-Infinity]", true);
%! ## without preserve, as null
%! same_tree (scan (emit_tree (t, false, false), false),
%!            {struct([]); struct([]); struct([])});
%! ## with preserve but read without infnan, an error
%! [u, msg] = __ledgerscan__ (emit_tree (t, false, true), false, false, false);
%! assert (u, []);
%! assert (msg, "invalid value at line 1, column 2.");

%!test
%! ## trees built by hand: input, what comes back
%! s = struct ();
%! s.keys = {1; true; -0.5; int8(-3); "k"};
%! s.values = {1; 2; 3; 4; 5};
%! back = struct ();
%! back.keys = {"1"; "true"; "-0.5"; "-3"; "k"};
%! back.values = {1; 2; 3; 4; 5};
%! big = uint64 (9007199254740992) + uint64 (1);
%! cases = {
%!   [1 2; 3 4],                 {1; 3; 2; 4}
%!   [true false],               {true; false}
%!   zeros(0, 3),                cell(0, 1)
%!   {1, "a"; 2, {}},            {1; 2; "a"; cell(0, 1)}
%!   reshape({1, 2}, 1, 1, 2),   {1; 2}
%!   int8(-5),                   -5
%!   uint32(7),                  7
%!   int64(5),                   5
%!   big,                        big
%!   -int64(big),                -int64(big)
%!   int64(big),                 big
%!   single(0.1),                double(single(0.1))
%!   single([1 2]),              {1; 2}
%!   s,                          back
%!   struct(),                   struct([])
%!   repmat(struct(), 3, 1),     struct([])
%!   NaN,                        struct([])
%!   {Inf; 1},                   {struct([]); 1}
%!   "",                         ""
%!   zeros(1, 0),                cell(0, 1)
%! };
%! for i = 1:rows (cases)
%!   for pretty = [false true]
%!     same_tree (cases{i,2}, scan (emit_tree (cases{i,1}, pretty, false), false),
%!                sprintf ("case %d", i));
%!     assert (emit_tree (cases{i,1}, pretty, true),
%!             emit_tree (cases{i,1}, pretty, true));
%!   endfor
%! endfor

## ---- Integers: compact text back byte for byte ---------------------------
## A corpus of compact documents in the writer's own forms (integers of
## every size int64 and uint64 hold, decimals in their shortest digits,
## whole doubles with ".0", escapes as the writer writes them, duplicate
## keys) read with "Integers" and written with the defaults gives back each
## document byte for byte, alone and as JSON Lines.

%!function s = corpus_number ()
%!  switch (randi (6))
%!    case 1
%!      s = sprintf ("%d", randi ([-1e6, 1e6]));
%!    case 2
%!      ## Up to 19 digits, and the edges of int64 and uint64.
%!      edges = {"9223372036854775807", "-9223372036854775808", ...
%!               "9223372036854775808", "18446744073709551615", ...
%!               "9007199254740993", "-9007199254740993", "0"};
%!      if (rand () < 0.3)
%!        s = edges{randi(numel (edges))};
%!      else
%!        s = [char("1" + randi ([0 8])), char("0" + randi ([0 9], 1, randi ([0 17])))];
%!        if (rand () < 0.5)
%!          s = ["-" s];
%!        endif
%!      endif
%!    otherwise
%!      ## 1 to 15 significant digits, the last not 0, at a decimal
%!      ## exponent E: positional for E from -6 to 20, else d.ddde+-X.
%!      k = randi ([1 15]);
%!      d = char ("0" + [randi([1 9]), randi([0 9], 1, max (k - 2, 0)), randi([1 9])]);
%!      d = d(1:k);
%!      E = randi ([-12, 25]);
%!      if (E > 20 || E < -6)
%!        s = d(1);
%!        if (k > 1)
%!          s = [s "." d(2:end)];
%!        endif
%!        s = sprintf ("%se%d", s, E);
%!      elseif (E < 0)
%!        s = ["0." repmat("0", 1, -E - 1) d];
%!      elseif (k <= E + 1)
%!        s = [d repmat("0", 1, E + 1 - k) ".0"];
%!      else
%!        s = [d(1:E+1) "." d(E+2:end)];
%!      endif
%!      if (rand () < 0.3)
%!        s = ["-" s];
%!      endif
%!  endswitch
%!endfunction

%!function s = corpus_text ()
%!  c = {"a", "Z", "0", " ", "/", '\"', '\\', '\n', '\t', '\b', '\f', '\r', ...
%!       '\u0001', '\u001f', char(127), "é", "€", "😀"};
%!  s = ['"' c{randi(numel (c), 1, randi ([0 6]))} '"'];
%!endfunction

%!function s = corpus_doc (depth)
%!  r = randi (10);
%!  if (depth > 0 && r <= 3)
%!    parts = arrayfun (@(i) [corpus_text() ":" corpus_doc(depth - 1)],
%!                      1:randi ([0 4]), "uniformoutput", false);
%!    s = ["{" strjoin(parts, ",") "}"];
%!  elseif (depth > 0 && r <= 5)
%!    parts = arrayfun (@(i) corpus_doc (depth - 1), 1:randi ([0 4]),
%!                      "uniformoutput", false);
%!    s = ["[" strjoin(parts, ",") "]"];
%!  elseif (r == 6)
%!    s = corpus_text ();
%!  elseif (r == 7)
%!    s = {"true", "false", "null", "-0.0"}{randi (4)};
%!  else
%!    s = corpus_number ();
%!  endif
%!endfunction

%!test
%! rand ("state", 20);
%! n = 1500;
%! docs = arrayfun (@(i) corpus_doc (4), 1:n, "uniformoutput", false);
%! docs(1:4) = {'{"port":8080,"ratio":0.5,"big":18446744073709551615}', ...
%!              "[1,2,3]", "-9223372036854775808", '{"a":1,"a":2.0}'};
%! for i = 1:n
%!   t = ledgerdecode (docs{i}, "Integers", true);
%!   got = ledgerencode (t);
%!   if (! strcmp (got, docs{i}))
%!     error ("document %d came back as\n%s\nnot\n%s", i, got, docs{i});
%!   endif
%! endfor
%! lines = sprintf ("%s\n", docs{:});
%! assert (ledgerencode (ledgerdecode (lines, "Lines", true, "Integers", true),
%!                       "Lines", true), lines);

## What each integer literal becomes with "Integers".
%!test
%! cases = {
%!   "0",                      int64(0)
%!   "-0",                     -0
%!   "8080",                   int64(8080)
%!   "-17",                    int64(-17)
%!   "999999999999999999",     int64(999999999999999)*1000+999
%!   "9223372036854775807",    intmax("int64")
%!   "-9223372036854775808",   intmin("int64")
%!   "9223372036854775808",    uint64(9223372036854775808)
%!   "18446744073709551615",   intmax("uint64")
%!   "18446744073709551616",   18446744073709551616
%!   "-9223372036854775809",   -9223372036854775809
%!   "1.0",                    1
%!   "1e2",                    100
%! };
%! for i = 1:rows (cases)
%!   v = ledgerdecode (["[" cases{i,1} "]"], "Integers", true){1};
%!   assert (class (v), class (cases{i,2}), cases{i,1});
%!   assert (v, cases{i,2});
%!   if (isfloat (v))
%!     assert (signbit (v), signbit (cases{i,2}));
%!   endif
%! endfor
%! ## Without it, today's rule.
%! assert (ledgerdecode ("[8080]"), {8080});

%!test
%! ## As deep as a reading can be asked to take: written, read back with
%! ## MaxDepth, the same tree (walked level by level: the interpreter's own
%! ## comparison recurses); one level more is refused by both.
%! n = 10000;
%! t = 1.5;
%! for i = 1:n
%!   if (mod (i, 2))
%!     t = {t};
%!   else
%!     t = struct ("keys", {{"k"}}, "values", {{t}});
%!   endif
%! endfor
%! txt = ledgerencode (t);
%! for pretty = [false true]
%!   b = ledgerdecode (ledgerencode (t, "Pretty", pretty), "MaxDepth", n);
%!   a = t;
%!   for i = n:-1:1
%!     if (mod (i, 2))
%!       assert (iscell (b) && isequal (size (b), [1 1]));
%!       a = a{1};
%!       b = b{1};
%!     else
%!       assert (isequal (fieldnames (b), {"keys"; "values"}));
%!       assert (b.keys, {"k"});
%!       a = a.values{1};
%!       b = b.values{1};
%!     endif
%!   endfor
%!   assert (b, 1.5);
%! endfor
%! [~, msg] = ledgerdecode (txt, "MaxDepth", n - 1);
%! assert (regexp (msg, "^ledgerdecode: nesting deeper than the option MaxDepth allows at line 1, column \\d+\\.$", "once"), 1);
%! fail ("ledgerencode ({t})", "nested deeper than 10000 levels");
