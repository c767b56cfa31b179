## -*- texinfo -*-
## @deftypefn {ledgerkit} {} bench_convert (@var{datadir}, @var{runs}, @var{bigruns}, @var{only}, @var{make_mixed}, @var{target})
## Time ledgerkit's conversions and path access, for @code{bench}.
##
## On every @file{*.json} of @var{datadir} and the mixed document of 10 MB:
## @code{ledgerplain (ledgerdecode (@var{text}))} against
## @code{jsondecode (@var{text}, "makeValidName", false)};
## @code{ledgerencode (@var{v})} against @code{jsonencode (@var{v})},
## @var{v} being @code{jsondecode}'s value; @code{ledgertree} of the tree
## against writing the tree with @code{__ledgeremit__}; and
## @code{ledgerencode} of the tree (which it takes as an ordinary value
## that is already a tree) against @code{__ledgertext__} writing it as a
## tree.  Then @code{ledgerget} and @code{ledgerset} ten
## levels deep in the mixed document of 100 MB (@var{make_mixed} (bytes)
## makes it), once with all its records in one array on the path and once
## with them grouped in short arrays.  @var{only} keeps the
## documents whose names match it; @var{target} prints a targets line.
## @end deftypefn

function bench_convert (datadir, runs, bigruns, only, make_mixed, target)

  printf ("\nconversions and paths (ledgerplain, ledgertree, ledgerget, ledgerset):\n");
  if (exist ("__ledgerconvert__") != 3 || exist ("__ledgerscan__") != 3
      || exist ("__ledgeremit__") != 3)
    printf ("NOTE: a module is missing (make builds them): no conversions timed.\n");
    return;
  endif

  if (! __ledgerhasjson__ ())
    printf ("NOTE: this interpreter has no jsondecode or jsonencode: their columns and ratios are empty.\n");
  endif

  docs = {};
  if (! isempty (datadir))
    files = dir (fullfile (datadir, "*.json"));
    docs = cellfun (@(f) {f, fullfile(datadir, f)}, sort ({files.name}),
                    "uniformoutput", false);
  endif
  docs{end+1} = {"mixed-10MB.json", 10e6};
  keep = @(name) isempty (only) || ! isempty (regexp (name, only, "once"));
  docs = docs(cellfun (@(d) keep (d{1}), docs));

  file = [tempname() ".json"];
  cleanup = onCleanup (@() unlink_quietly (file));
  printf ("%-18s | %9s %9s %5s | %9s %9s %5s | %9s %9s %6s | %9s %9s %5s\n", "",
          "plain of", "", "", "encode of", "", "", "tree of", "", "",
          "encode of", "", "");
  printf ("%-18s | %9s %9s %5s | %9s %9s %5s | %9s %9s %6s | %9s %9s %5s\n",
          "document", "decode ms", "jsondec", "ratio", "value ms", "jsonenc",
          "ratio", "tree ms", "write ms", "ratio", "tree ms", "text ms",
          "ratio");
  printf ("%s\n", repmat ("-", 1, 136));
  r = struct ("name", {}, "plain", {}, "encode", {}, "again", {}, "tree", {});
  for i = 1:numel (docs)
    [name, src] = docs{i}{:};
    if (ischar (src))
      text = fileread (src);
    else
      text = make_mixed (src);
    endif
    r(end+1) = measure (name, text, file, runs);
    clear text;
  endfor

  deep = deep_paths (make_mixed, keep ("mixed-100MB.json"), bigruns);

  printf ("\nplain of decode: ledgerplain (ledgerdecode (text)) / jsondecode (text, \"makeValidName\", false)\n");
  printf ("encode of value: ledgerencode (v) / jsonencode (v), v = jsondecode (text)\n");
  printf ("tree of tree: ledgertree (tree) / __ledgeremit__ (tree) to a file in memory\n");
  printf ("encode of tree: ledgerencode (tree) / __ledgertext__ (tree) as a tree\n");
  printf ("\ntargets (ratios of best times, this run):\n");
  printf ("%-52s %-8s %-9s %s\n", "target", "limit", "measured", "result");
  ratios = {"plain", "ledgerplain of ledgerdecode", 1.0;
            "encode", "ledgerencode of jsondecode's value", 0.8};
  for j = 1:rows (ratios)
    [field, what, lim] = ratios{j,:};
    for doc = {"canada", "citm_catalog", "twitter"}
      k = find (strcmp ({r.name}, [doc{1} ".json"]));
      v = NaN;
      if (! isempty (k))
        v = r(k).(field);
      endif
      target (sprintf ("%s, %s", what, doc{1}), sprintf ("<= %.1f", lim), v, lim);
    endfor
  endfor
  v = NaN;
  if (! isempty (r))
    v = max ([r.again]);
  endif
  target ("ledgertree of a tree / writing it (worst document)", "<= 0.05", v, 0.05);
  v = NaN;
  if (! isempty (r))
    v = max ([r.tree]);
  endif
  target ("ledgerencode of a tree / writing it (worst document)", "<= 1.05", v, 1.05);
  target (sprintf ("ledgerget 10 deep, %s (ms)", deep.name), "< 1.0", deep.get, 1.0);
  target (sprintf ("ledgerset 10 deep, %s, arrays <= %d (ms)", deep.name,
                   deep.group), "< 1.0", deep.set_narrow, 1.0);
  target (sprintf ("ledgerset 10 deep, %s, %d records in one (ms)", deep.name,
                   deep.records), "< 1.0", deep.set_wide, 1.0);

endfunction

## Best times of each pair, ours and the built-in taking turns.
function r = measure (name, text, file, runs)
  tree = ledgerdecode (text);
  if (__ledgerhasjson__ ())
    v = jsondecode (text, "makeValidName", false);
    t = best_times (runs,
                    @() ledgerplain (ledgerdecode (text)),
                    @() jsondecode (text, "makeValidName", false),
                    @() ledgerencode (v),
                    @() jsonencode (v),
                    @() ledgertree (tree),
                    @() __ledgeremit__ (tree, file, false, false));
  else
    ## ledgerplain's value is the one jsondecode would give.
    v = ledgerplain (tree);
    t = best_times (runs,
                    @() ledgerplain (ledgerdecode (text)),
                    @() ledgerencode (v),
                    @() ledgertree (tree),
                    @() __ledgeremit__ (tree, file, false, false));
    t = [t(1), NaN, t(2), NaN, t(3:4)];
  endif
  t(7:8) = Inf;
  ## Two calls that differ by a few per cent: more runs, taking turns at
  ## going first (the first after a large text is freed meets fresh pages).
  for i = 1:5 * runs
    for k = circshift ([7 8], i)
      t0 = tic ();
      if (k == 7)
        s = ledgerencode (tree);
      else
        s = __ledgertext__ (tree);
      endif
      t(k) = min (t(k), toc (t0));
      clear s;
    endfor
  endfor
  r = struct ("name", name, "plain", t(1) / t(2), "encode", t(3) / t(4),
              "again", t(5) / t(6), "tree", t(7) / t(8));
  printf ("%-18s | %9.2f %9.2f %5.2f | %9.2f %9.2f %5.2f | %9.3f %9.2f %6.3f | %9.2f %9.2f %5.2f\n",
          name, 1e3 * t(1), 1e3 * t(2), r.plain, 1e3 * t(3), 1e3 * t(4),
          r.encode, 1e3 * t(5), 1e3 * t(6), r.again, 1e3 * t(7), 1e3 * t(8),
          r.tree);
  fflush (stdout);
endfunction

## Get and set ten levels deep: seven objects above the array of records,
## then the record, "geo" and "lat"; or five objects above three levels of
## arrays of at most the cube root of the record count that hold the same
## records.
function d = deep_paths (make_mixed, big, runs)
  bytes = 10e6;
  if (big)
    bytes = 100e6;
  endif
  d = struct ("name", sprintf ("mixed-%dMB", bytes / 1e6), "records", NaN,
              "group", NaN, "get", NaN, "set_wide", NaN, "set_narrow", NaN);
  records = ledgerdecode (make_mixed (bytes));
  n = numel (records);
  d.records = n;
  mid = floor (n / 2);
  wide = records;
  for k = 7:-1:1
    wide = struct ("keys", {{sprintf("level%d", k)}}, "values", {{wide}});
  endfor
  w = ceil (n ^ (1/3));
  narrow = groups (records, w);
  for k = 5:-1:1
    narrow = struct ("keys", {{sprintf("level%d", k)}}, "values", {{narrow}});
  endfor
  d.group = w;
  clear records;
  pw = [sprintf("/level%d", 1:7) sprintf("/%d/geo/lat", mid)];
  place = [floor(mid / w^2), mod(floor (mid / w), w), mod(mid, w)];
  pn = [sprintf("/level%d", 1:5) sprintf("/%d", place) "/geo/lat"];
  reps = 200;
  ## Looped here, not through time_call: a handle would hold a second
  ## reference to the tree, and each ledgerset would then copy it.
  tg = tc = tw = tn = inf;
  for i = 1:max (runs, 3)
    t0 = tic ();
    for k = 1:reps
      x = ledgerget (wide, pw);
    endfor
    tg = min (tg, toc (t0) / reps);
    t0 = tic ();
    for k = 1:reps
      x = ledgerget (narrow, pn);
    endfor
    tc = min (tc, toc (t0) / reps);
    t0 = tic ();
    for k = 1:20
      wide = ledgerset (wide, pw, k);
    endfor
    tw = min (tw, toc (t0) / 20);
    t0 = tic ();
    for k = 1:reps
      narrow = ledgerset (narrow, pn, k);
    endfor
    tn = min (tn, toc (t0) / reps);
  endfor
  assert (ledgerget (wide, pw), 20);
  assert (ledgerget (narrow, pn), reps);
  d.get = 1e3 * max (tg, tc);
  d.set_wide = 1e3 * tw;
  d.set_narrow = 1e3 * tn;
  printf ("\n%s, %d records: 10 steps deep, best ms per call\n", d.name, n);
  printf ("  ledgerget: records in one array %.4f, in arrays of at most %d %.4f\n",
          1e3 * tg, w, 1e3 * tc);
  printf ("  ledgerset: records in one array %.4f (the array of %d is copied: the\n",
          1e3 * tw, n);
  printf ("    tree given must stay as it was), in arrays of at most %d %.4f\n",
          w, 1e3 * tn);
endfunction

## The records grouped in three levels of arrays of at most K.
function g = groups (records, k)
  n = numel (records);
  g = cell (ceil (n / k^2), 1);
  for a = 1:numel (g)
    lo = (a - 1) * k^2;
    inner = cell (min (k, ceil ((n - lo) / k)), 1);
    for b = 1:numel (inner)
      first = lo + (b - 1) * k + 1;
      inner{b} = records(first:min (n, first + k - 1));
    endfor
    g{a} = inner;
  endfor
endfunction

function unlink_quietly (file)
  [~, ~] = unlink (file);
endfunction
