## -*- texinfo -*-
## @deftypefn {ledgerkit} {} bench_write (@var{datadir}, @var{work}, @var{runs})
## Time writing to text in memory and JSON Lines, for @code{bench}.
##
## Per call on a document of about 50 bytes, @code{ledgerencode} of its
## tree and of @code{jsondecode}'s value against @code{jsonencode};
## @code{ledgerencode} of the tree of each of the three documents canada,
## citm_catalog and twitter in @var{datadir} against @code{jsonencode} of
## @code{jsondecode}'s value and against @code{__ledgeremit__} writing the
## same tree to a file in @var{work}, and with the options
## @qcode{"SortKeys"} and @qcode{"Canonical"} against the default compact
## text (Canonical not on twitter, whose integers beyond 2^53 it refuses);
## 100,000 records of about 100 bytes
## written as JSON Lines against the same written as one array and against
## a loop of @code{jsonencode} over the records.  Each time is the best of
## @var{runs}, ours and the built-in taking turns, timed by
## @code{best_times} but for the per-call rounds.  Prints the times, their
## ratios and the targets.
## @end deftypefn

function bench_write (datadir, work, runs)

  printf ("\nwriting text in memory (ledgerencode) and JSON Lines, best of %d runs:\n",
          runs);
  if (! __ledgerhasjson__ ())
    printf ("NOTE: this interpreter has no jsondecode or jsonencode, which these compare with: not measured.\n");
    return;
  endif
  printf ("%-44s %12s %12s %7s\n", "what", "ours", "other", "ratio");
  res = struct ();

  ## Per call: the cost around the writing itself; best of RUNS rounds of
  ## N calls, taking turns.  The calls are looped here, not through
  ## time_call: a function handle per call would add to the per-call cost
  ## being measured.
  doc = '{"id":12345,"name":"ledger","tags":["a","b"],"ok":true}';
  tree = __ledgerscan__ (doc, false, false, false);
  value = jsondecode (doc);
  n = 20000;
  t = inf (1, 3);
  for r = 1:runs
    t0 = tic (); for i = 1:n, ledgerencode (tree); endfor; t(1) = min (t(1), toc (t0));
    t0 = tic (); for i = 1:n, jsonencode (value); endfor; t(2) = min (t(2), toc (t0));
    t0 = tic (); for i = 1:n, ledgerencode (value); endfor; t(3) = min (t(3), toc (t0));
  endfor
  t = t / n * 1e6;
  res.small = show (sprintf ("per call, %d-byte document (us)", numel (doc)),
                    "jsonencode", t(1), t(2));
  res.small_value = show ("  the same, of jsondecode's value (us)",
                          "jsonencode", t(3), t(2));

  ## Whole documents.
  file = fullfile (work, "bench-write.json");
  res.docs = struct ("name", {}, "bi", {}, "emit", {});
  for name = {"canada", "citm_catalog", "twitter"}
    path = fullfile (datadir, [name{1} ".json"]);
    if (isempty (datadir) || ! exist (path, "file"))
      continue;
    endif
    text = fileread (path);
    tree = __ledgerscan__ (text, false, false, false);
    value = jsondecode (text);
    t = 1e3 * best_times (runs, @() ledgerencode (tree),
                          @() jsonencode (value),
                          @() __ledgeremit__ (tree, file, false, false));
    res.docs(end+1) = struct ("name", name{1},
                              "bi", show ([name{1} " (ms)"], "jsonencode",
                                          t(1), t(2)),
                              "emit", show ("", "__ledgeremit__ to a file",
                                            t(1), t(3)),
                              "sorted", NaN, "canonical", NaN);
    ## Sorted keys and canonical text against the default compact text, in
    ## the same turns; twitter holds integers beyond 2^53, which canonical
    ## text refuses.
    calls = {@() ledgerencode (tree), @() ledgerencode (tree, "SortKeys", true)};
    if (! strcmp (name{1}, "twitter"))
      calls{end+1} = @() ledgerencode (tree, "Canonical", true);
    endif
    t = 1e3 * best_times (runs, calls{:});
    res.docs(end).sorted = show ("  SortKeys (ms)", "default compact",
                                 t(2), t(1));
    if (numel (t) > 2)
      res.docs(end).canonical = show ("  Canonical (ms)", "default compact",
                                      t(3), t(1));
    endif
  endfor
  [~] = unlink (file);

  ## JSON Lines: 100,000 records of about 100 bytes.
  n = 1e5;
  recs = records (n);
  text = ["[" strjoin(recs, ",") "]"];
  tree = __ledgerscan__ (text, false, false, false);
  value = jsondecode (sprintf ("[%s]", strjoin (recs, ",")));
  if (isstruct (value))
    value = num2cell (value);
  endif
  t = 1e3 * best_times (runs, @() ledgerencode (tree, "Lines", true),
                        @() ledgerencode (tree));
  res.lines_array = show (sprintf ("JSON Lines, %d records of %d bytes (ms)", n,
                                   round (numel (text) / n)),
                          "one array", t(1), t(2));
  t(3) = 1e3 * best_times (min (runs, 3), @() encode_loop (value));
  res.lines_loop = show ("", "jsonencode loop", t(1), t(3));

  printf ("\ntargets of writing (ratios of best times, this run):\n");
  printf ("%-52s %-8s %-9s %s\n", "target", "limit", "measured", "result");
  target ("ledgerencode per call vs jsonencode", 2, res.small);
  target ("ledgerencode per call of the value vs jsonencode", 2,
          res.small_value);
  for d = res.docs
    target (sprintf ("ledgerencode %s vs jsonencode", d.name), 0.5, d.bi);
    target (sprintf ("ledgerencode %s vs __ledgeremit__ file", d.name), 1.1,
            d.emit);
    target (sprintf ("SortKeys %s vs default compact", d.name), 1.3,
            d.sorted);
    if (! isnan (d.canonical))
      target (sprintf ("Canonical %s vs default compact", d.name), 1.5,
              d.canonical);
    endif
  endfor
  if (isempty (res.docs))
    printf ("%-52s %-8s %-9s %s\n", "ledgerencode of the three documents", "-",
            "-", "not measured (no data folder)");
  endif
  target ("JSON Lines writing vs one array", 1.2, res.lines_array);
  target ("JSON Lines writing vs jsonencode loop", 0.2, res.lines_loop);

endfunction

## One row of times; returns the ratio.
function r = show (what, other, a, b)
  r = a / b;
  printf ("%-44s %12.3f %12.3f %7.2f  (vs %s)\n", what, a, b, r, other);
endfunction

function target (what, limit, v)
  result = "NOT MET";
  if (v <= limit)
    result = "met";
  endif
  printf ("%-52s %-8s %-9.2f %s\n", what, sprintf ("<= %.1f", limit), v, result);
endfunction

## N records of about 100 bytes of JSON each.
function recs = records (n)
  i = 1:n;
  text = sprintf (['{"id":%d,"user":"user-%05d","score":%.3f,' ...
                   '"tags":["red","blue"],"active":true,"note":null}\n'],
                  [i; mod(i * 7919, 100000); mod(i, 977) / 8]);
  recs = strsplit (text(1:end-1), "\n");
endfunction

## The text of the records, one jsonencode per line.
function text = encode_loop (value)
  parts = cell (1, numel (value));
  for i = 1:numel (value)
    parts{i} = [jsonencode(value{i}) "\n"];
  endfor
  text = [parts{:}];
endfunction
