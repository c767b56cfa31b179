## A short tour of ledgerkit on demo/sample.json: read, write, read back,
## a fault with its place, and what the built-in jsondecode and jsonencode
## make of the same document (where the interpreter has them: Octave 6 has
## neither, and the demo says so).  Run it with `make demo`.

1;

## Text padded to n characters; UTF-8 continuation bytes take no place.
function s = pad (s, n)
  width = sum ((double (s) < 128) | (double (s) >= 192));
  s = [s, repmat(" ", 1, max (n - width, 0))];
endfunction

## The class of a value, with its size unless it is one number or a text.
function s = kind (v)
  s = class (v);
  if (iscell (v) || ! (isscalar (v) || ischar (v)))
    s = sprintf ("%s %dx%d", s, rows (v), columns (v));
  endif
endfunction

function s = yes_no (b)
  if (b)
    s = "yes";
  else
    s = "no";
  endif
endfunction

function remove_dir (d)
  confirm_recursive_rmdir (false, "local");
  rmdir (d, "s");
endfunction

here = fileparts (mfilename ("fullpath"));
sample = fullfile (here, "sample.json");
work = tempname ();
mkdir (work);
cleanup = onCleanup (@() remove_dir (work));

printf ("ledgerkit: lossless JSON for Octave\n\n");

## 1. Read.
printf ("1. Read demo/sample.json, a configuration with comments, trailing\n");
printf ("   commas and a NaN:\n\n");
printf ("   tree = loadledger (\"sample.json\", \"Comments\", true,\n");
printf ("                      \"TrailingCommas\", true, \"InfNaN\", true);\n\n");
tree = loadledger (sample, "Comments", true, "TrailingCommas", true,
                   "InfNaN", true);
printf ("   %s%s%s\n", pad ("member", 14), pad ("class", 12), "value (written by ledgerencode)");
for i = 1:numel (tree.keys)
  v = tree.values{i};
  printf ("   %s%s%s\n", pad (tree.keys{i}, 14), pad (kind (v), 12),
          ledgerencode (v, "Preserve", true));
endfor
printf ("\n   Both \"retries\" are there, in file order; the ID is an exact uint64;\n");
printf ("   null, {} and [] stay three different things.\n\n");

## 2. Write, pretty.
out = fullfile (work, "pretty.json");
printf ("2. Write it back:  saveledger (tree, \"pretty.json\", \"Pretty\", true, \"Preserve\", true)\n\n");
saveledger (tree, out, "Pretty", true, "Preserve", true);
text = fileread (out);
printf ("   %s\n", strsplit (text, "\n"){:});
printf ("\n   Comments are not part of the tree, so none are written.\n\n");

## 3. Read back.
again = loadledger (out, "InfNaN", true);
printf ("3. Read that file back: the trees are equal: %s\n\n",
        yes_no (isequaln (tree, again)));

## 4. A fault, with its place.
lines = strsplit (fileread (sample), "\n");
at = find (! cellfun (@isempty, strfind (lines, '"retries": 3,')), 1);
broken_lines = lines;
broken_lines{at} = strrep (lines{at}, '"retries": 3,', '"retries": 3');
broken = fullfile (work, "broken.json");
fid = fopen (broken, "w");
fputs (fid, strjoin (broken_lines, "\n"));
fclose (fid);
printf ("4. A copy without the comma after \"retries\": 3 gives the place of the fault:\n\n");
[~, err, where] = loadledger (broken, "Comments", true, "TrailingCommas", true,
                              "InfNaN", true);
printf ("   %s\n", strrep (err, [work filesep], ""));
line = where(1);
column = where(2);
printf ("\n   %4d | %s\n", line, broken_lines{line});
printf ("        | %s^\n\n", repmat (" ", 1, column - 1));

## 5. The built-in functions on the same document.
printf ("5. The built-in jsondecode and jsonencode on the same sample\n\n");
has_json = __ledgerhasjson__ ();
if (has_json)
  try
    jsondecode (fileread (sample));
  catch e
    printf ("   jsondecode cannot read the sample itself:\n   %s\n\n", e.message);
  end_try_catch
  copy = ledgerencode (tree, "Preserve", true);
  builtin = jsondecode (copy);
  printf ("   Given a copy without the comments and trailing commas (made by\n");
  printf ("   ledgerencode), it reads, and jsonencode writes back:\n\n");
else
  printf ("   This interpreter (Octave %s) has no jsondecode or jsonencode:\n", OCTAVE_VERSION);
  printf ("   ledgerkit is its JSON reader and writer.  What ledgerkit writes:\n\n");
endif
printf ("   %s%s%s%s\n", pad ("member", 13), pad ("ledgerkit", 25),
        pad ("built-in", 25), "note");
keys = tree.keys;
for i = 1:numel (keys)
  v = tree.values{i};
  mine = ledgerencode (v, "Preserve", true);
  later = find (strcmp (keys(i+1:end), keys{i}), 1);
  if (! has_json)
    theirs = "(none here)";
    note = "";
  elseif (! isempty (later))
    theirs = "(dropped)";
    note = "a duplicate: only the last is kept";
  else
    b = builtin.(keys{i});
    theirs = jsonencode (b);
    note = "";
    if (isinteger (v) && ! isinteger (b))
      note = sprintf ("rounded to %.0f", b);
    elseif (isstruct (v) && isempty (fieldnames (v)))
      note = "null became []";
    elseif (isnumeric (v) && isnan (v))
      note = "NaN became null";
    elseif (! isequaln (ledgerdecode (theirs, "InfNaN", true),
                        ledgerdecode (mine, "InfNaN", true)))
      back = jsondecode (theirs);
      if (back == 0)
        note = "written as 0";
      else
        note = sprintf ("reads back as %.17g", back);
      endif
    endif
  endif
  if (numel (theirs) > 23)
    theirs = [theirs(1:20) "..."];
  endif
  row = [pad(keys{i}, 13), pad(mine, 25), pad(theirs, 25), note];
  printf ("   %s\n", deblank (row));
endfor
printf ("\n");

## 6. Doubles through a round trip.
rand ("seed", 2026);
n = 1000;
x = rand (n, 1) .* 10 .^ randi ([-40, 40], n, 1);
z = cell2mat (ledgerdecode (ledgerencode (x)));
printf ("6. %d random doubles written as JSON text and read back:\n\n", n);
if (has_json)
  y = jsondecode (jsonencode (x));
  changed = find (y != x);
  printf ("   jsonencode, jsondecode:    %d of %d changed, for example\n",
          numel (changed), n);
  ## One that became 0 and two that became another double.
  zeroed = find (y == 0 & x != 0, 1);
  moved = find (y != x & y != 0, 2);
  for k = [zeroed; moved]'
    printf ("      %-24.17g -> %-26s -> %.17g\n", x(k), jsonencode (x(k)), y(k));
  endfor
else
  printf ("   jsonencode, jsondecode:    not in this interpreter\n");
endif
printf ("   ledgerencode, ledgerdecode: %d of %d changed\n", sum (z != x), n);
