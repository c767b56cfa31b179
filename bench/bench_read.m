## -*- texinfo -*-
## @deftypefn {ledgerkit} {} bench_read (@var{work})
## Time what reading costs besides large documents, against the built-in
## @code{jsondecode} in this process, with files under @var{work}:
##
## @itemize
## @item per call on a document of 50 bytes: @code{ledgerdecode} and
## @code{__ledgerscan__}, and @code{loadledger} against @code{fileread}
## with @code{jsondecode};
##
## @item JSON Lines: 100,000 records of about 100 bytes read with the
## @qcode{"Lines"} option, against the same records as one JSON array and
## against a loop of @code{jsondecode} over the lines;
##
## @item 10^6 empty objects and 10^6 empty arrays in one array;
##
## @item how soon Ctrl-C stops a read: a child interpreter reading a large
## text gets SIGINT, and the time until it is back is measured.
## @end itemize
##
## Prints the rows, their ratios (ours / the other: below 1 means ours is
## faster) and whether each target is met.  @code{bench} calls it.
## @end deftypefn

function bench_read (work)

  printf ("\nreading: small documents, JSON Lines, empty containers, Ctrl-C\n");
  if (exist ("__ledgerscan__") != 3 || exist ("ledgerdecode") != 2)
    printf ("NOTE: the reader or inst/ledgerdecode.m is missing: not measured.\n");
    return;
  endif
  if (! __ledgerhasjson__ ())
    printf ("NOTE: this interpreter has no jsondecode, which each of these compares with: not measured.\n");
    return;
  endif
  printf ("%-52s %12s %12s %7s\n", "", "ours", "other", "ratio");

  ## Per call: best of several rounds of N calls, the two taking turns.
  ## The calls are looped here, not through time_call: a function handle
  ## per call would add to the per-call cost being measured.
  doc = '{"id":12,"name":"abc","tags":["x","y"],"ok":true}';
  f = fullfile (work, "small.json");
  put_file (f, doc);
  n = 20000;
  best = inf (1, 5);
  for round = 1:7
    t0 = tic (); for i = 1:n, jsondecode (doc); endfor; t(1) = toc (t0);
    t0 = tic (); for i = 1:n, ledgerdecode (doc); endfor; t(2) = toc (t0);
    t0 = tic (); for i = 1:n, __ledgerscan__ (doc, 0, 0, 0); endfor; t(3) = toc (t0);
    t0 = tic (); for i = 1:n, loadledger (f); endfor; t(4) = toc (t0);
    t0 = tic (); for i = 1:n, jsondecode (fileread (f)); endfor; t(5) = toc (t0);
    best = min (best, t / n * 1e6);
  endfor
  small = best(2) / best(1);
  row (sprintf ("%d-byte document, us per call: ledgerdecode / jsondecode",
                numel (doc)), best(2), best(1));
  row ("  __ledgerscan__ alone / jsondecode", best(3), best(1));
  row ("  loadledger / jsondecode (fileread)", best(4), best(5));

  ## JSON Lines against one array of the same records, and against a loop
  ## of jsondecode over the lines (splitting included).
  recs = log_records (1e5, 3);
  lines = [strjoin(recs, "\n") "\n"];
  array = ["[" strjoin(recs, ",") "]"];
  fl = fullfile (work, "records.jsonl");
  fa = fullfile (work, "records.json");
  put_file (fl, lines);
  put_file (fa, array);
  t = best_times (5, @() ledgerdecode (lines, "Lines", true),
                  @() ledgerdecode (array), @() loadledger (fl, "Lines", true),
                  @() loadledger (fa));
  t(5) = best_times (2, @() decode_lines (lines));
  printf ("%d records of %.0f bytes on average, %.1f MB, ms (best):\n",
          numel (recs), mean (cellfun (@numel, recs)), numel (lines) / 1e6);
  row ("  ledgerdecode with \"Lines\" / ledgerdecode of the array", t(1) * 1e3, t(2) * 1e3);
  row ("  loadledger with \"Lines\" / loadledger of the array", t(3) * 1e3, t(4) * 1e3);
  row ("  ledgerdecode with \"Lines\" / jsondecode loop over lines", t(1) * 1e3, t(5) * 1e3);
  vs_array = t(1) / t(2);
  vs_loop = t(1) / t(5);

  ## Empty containers: one shared {} and one shared [] per call.
  empties = ["[" repmat("{},[],", 1, 1e6 - 1) "{},[]]"];
  t = best_times (5, @() __ledgerscan__ (empties, 0, 0, 0),
                  @() jsondecode (empties));
  row ("10^6 {} and 10^6 [], ms: __ledgerscan__ / jsondecode", t(1) * 1e3, t(2) * 1e3);
  vs_empties = t(1) / t(2);

  [latency, what] = interrupt_latency ();
  printf ("Ctrl-C during a read (tests/interrupt.sh), s until the interpreter is back:\n");
  for i = 1:numel (what)
    printf ("  %-50s %6.3f\n", what{i}, latency(i));
  endfor

  printf ("\ntargets, reading (ratios of best times, this run):\n");
  printf ("%-52s %-8s %-9s %s\n", "target", "limit", "measured", "result");
  target ("50-byte document: ledgerdecode / jsondecode", "<= 2", small, 2);
  target ("JSON Lines / the same records as one array", "<= 1.2", vs_array, 1.2);
  target ("JSON Lines / jsondecode loop over lines", "<= 0.2", vs_loop, 0.2);
  target ("10^6 {} and 10^6 []: ours / jsondecode", "<= 1", vs_empties, 1);
  target ("Ctrl-C: the slowest of those, s", "<= 0.15", max (latency), 0.15);

endfunction

## JSON Lines the plain way: jsondecode over each line (splitting included).
function a = decode_lines (lines)
  parts = strsplit (lines(1:end-1), "\n");
  a = cell (numel (parts), 1);
  for i = 1:numel (parts)
    a{i} = jsondecode (parts{i});
  endfor
endfunction

## Seconds from SIGINT to the interpreter taking its next command, for each
## read of tests/interrupt.sh (a child interpreter each).
function [s, names] = interrupt_latency ()
  top = fileparts (fileparts (mfilename ("fullpath")));
  [~, out] = system (sprintf ("bash %s", fullfile (top, "tests", "interrupt.sh")));
  hits = regexp (out, '^(.*?): back after ([0-9.]+) s', "tokens",
                 "lineanchors", "dotexceptnewline");
  names = cellfun (@(h) h{1}, hits, "uniformoutput", false);
  s = cellfun (@(h) str2double (h{2}), hits);
  if (isempty (s))
    s = NaN;
  endif
endfunction

function row (what, ours, other)
  printf ("%-52s %12.2f %12.2f %7.2f\n", what, ours, other, ours / other);
endfunction

function target (what, limit, v, lim)
  if (isnan (v))
    printf ("%-52s %-8s %-9s %s\n", what, limit, "-", "not measured");
  elseif (v <= lim)
    printf ("%-52s %-8s %-9.2f %s\n", what, limit, v, "met");
  else
    printf ("%-52s %-8s %-9.2f %s\n", what, limit, v, "NOT MET");
  endif
endfunction
