## The layouts of "Pretty" with "Indent" and "SortKeys" against Python 3's
## json.dumps (obj, indent=N, sort_keys=True, ensure_ascii=False), and the
## same without sort_keys, on seeded random documents whose numbers both
## print alike (integers, read with "Integers", and decimals that need no
## exponent).  Skipped where python3 is missing.

%!function s = random_text (maxlen)
%!  c = {"a", "b", "Z", "0", " ", "/", "\"", "\\", "\n", "\t", char(1), ...
%!       char(31), char(127), "é", "€", "ﬁ", "😀", "~"};
%!  s = [c{randi(numel (c), 1, randi ([0 maxlen]))}];
%!  if (isempty (s))
%!    s = "";
%!  endif
%!endfunction

%!function s = random_number ()
%!  if (rand () < 0.5)
%!    s = sprintf ("%d", randi ([-1e9, 1e9]));
%!  else
%!    s = num2str (round (randn () * 1e5) / 1000, 17);
%!    if (! any (s == "."))
%!      s = [s ".5"];
%!    endif
%!  endif
%!endfunction

## The compact text of a random document of depth DEPTH at most; the keys
## of an object unique, as Python keeps only the last of equal keys.
%!function s = random_doc (depth)
%!  r = randi (10);
%!  if (depth > 0 && r <= 3)
%!    n = randi ([0 5]);
%!    k = {};
%!    while (numel (k) < n)
%!      key = random_text (3);
%!      if (! any (strcmp (k, key)))
%!        k{end+1} = key;
%!      endif
%!    endwhile
%!    parts = cellfun (@(x) [ledgerencode(x) ":" random_doc(depth - 1)], k,
%!                     "uniformoutput", false);
%!    s = ["{" strjoin(parts, ",") "}"];
%!  elseif (depth > 0 && r <= 5)
%!    parts = arrayfun (@(i) random_doc (depth - 1), 1:randi ([0 5]),
%!                      "uniformoutput", false);
%!    s = ["[" strjoin(parts, ",") "]"];
%!  elseif (r <= 6)
%!    s = ledgerencode (random_text (5));
%!  elseif (r == 7)
%!    s = {"true", "false", "null"}{randi (3)};
%!  else
%!    s = random_number ();
%!  endif
%!endfunction

%!testif ; system ("python3 -c 1 > /dev/null 2>&1") == 0
%! rand ("state", 2);
%! randn ("state", 2);
%! n = 400;
%! docs = arrayfun (@(i) random_doc (4), 1:n, "uniformoutput", false);
%! docs(1:3) = {'{"b":{"d":[],"c":{}},"a":[1,{"y":2,"x":[3]}]}', "[]", "7"};
%! indents = {0, 1, 2, 4, 8, "\t"};
%! src = [tempname() ".jsonl"];
%! out = [tempname() ".json"];
%! py = ["import json, sys\n" ...
%!       "docs = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8')]\n" ...
%!       "res = [[json.dumps(d, indent=i, sort_keys=s, ensure_ascii=False)\n" ...
%!       "        for d in docs]\n" ...
%!       "       for i in (0, 1, 2, 4, 8, '\\t') for s in (True, False)]\n" ...
%!       "open(sys.argv[2], 'w', encoding='utf-8').write(json.dumps(res))\n"];
%! unwind_protect
%!   fid = fopen (src, "w");
%!   fwrite (fid, sprintf ("%s\n", docs{:}));
%!   fclose (fid);
%!   [status, msg] = system (sprintf ("python3 -c %s %s %s 2>&1",
%!                                    ["'" strrep(py, "'", "'\\''") "'"],
%!                                    src, out));
%!   assert (status, 0, msg);
%!   want = ledgerdecode (fileread (out));
%! unwind_protect_cleanup
%!   [~] = unlink (src);
%!   [~] = unlink (out);
%! end_unwind_protect
%! trees = cellfun (@(d) ledgerdecode (d, "Integers", true), docs,
%!                  "uniformoutput", false);
%! for i = 1:numel (indents)
%!   for sorted = [true false]
%!     w = want{2 * i - sorted};
%!     for j = 1:n
%!       got = ledgerencode (trees{j}, "Pretty", true, "Indent", indents{i},
%!                           "SortKeys", sorted);
%!       if (! strcmp (got, w{j}))
%!         error ("indent %s, SortKeys %d, document %d:\n%s\nPython:\n%s",
%!                disp (indents{i}), sorted, j, got, w{j});
%!       endif
%!     endfor
%!   endfor
%! endfor

## The same layouts without Python: the first document above, by hand.
%!test
%! t = ledgerdecode ('{"b":{"d":[],"c":{}},"a":[1,{"y":2,"x":[3]}]}',
%!                   "Integers", true);
%! cases = {
%!   0,    "{\n\"a\": [\n1,\n{\n\"x\": [\n3\n],\n\"y\": 2\n}\n],\n\"b\": {\n\"c\": {},\n\"d\": []\n}\n}"
%!   2,    "{\n  \"a\": [\n    1,\n    {\n      \"x\": [\n        3\n      ],\n      \"y\": 2\n    }\n  ],\n  \"b\": {\n    \"c\": {},\n    \"d\": []\n  }\n}"
%!   "\t", "{\n\t\"a\": [\n\t\t1,\n\t\t{\n\t\t\t\"x\": [\n\t\t\t\t3\n\t\t\t],\n\t\t\t\"y\": 2\n\t\t}\n\t],\n\t\"b\": {\n\t\t\"c\": {},\n\t\t\"d\": []\n\t}\n}"
%! };
%! for i = 1:rows (cases)
%!   assert (ledgerencode (t, "Pretty", true, "Indent", cases{i,1},
%!                         "SortKeys", true), cases{i,2});
%! endfor
%! ## Indent alone leaves compact text compact.
%! assert (ledgerencode (t, "Indent", 2),
%!         '{"b":{"d":[],"c":{}},"a":[1,{"y":2,"x":[3]}]}');
%! ## '\t' as two characters is a tab too.
%! assert (ledgerencode (t, "Pretty", true, "Indent", '\t'),
%!         ledgerencode (t, "Pretty", true, "Indent", "\t"));
