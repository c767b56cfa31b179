## -*- texinfo -*-
## @deftypefn {ledgerkit} {} bench_plain (@var{datadir}, @var{work}, @var{runs}, @var{only}, @var{make_mixed}, @var{target})
## Time reading ordinary values (@qcode{"Plain"}) and the per-call cost of
## the common calls, for @code{bench}:
##
## @itemize
## @item @code{ledgerdecode (@var{text}, "Plain", true)} against
## @code{jsondecode (@var{text}, "makeValidName", false)} on every
## @file{*.json} of @var{datadir}, its value checked against
## @code{ledgerplain (ledgerdecode (@var{text}))};
##
## @item the peak memory of both on the mixed document of 100 MB
## (@var{make_mixed} (bytes) makes it), when @var{only} names it;
##
## @item per call on a document of 50 bytes: both forms of
## @code{ledgerdecode}, @code{ledgerencode}, @code{loadledger} and
## @code{saveledger} (with and without @qcode{"Sync"}) against the
## built-ins;
##
## @item 10,000 files of about 1 KB under @var{work}: one
## @code{loadledger (@var{files}, "Plain", true)} against a loop of
## @code{jsondecode (fileread (@var{f}))}.
## @end itemize
##
## @var{target} prints a targets line.
## @end deftypefn

function bench_plain (datadir, work, runs, only, make_mixed, target)

  printf ("\nreading ordinary values (\"Plain\") and the cost of one call:\n");
  if (exist ("__ledgerscan__") != 3 || ! __ledgerhasjson__ ())
    printf ("NOTE: the reader or the built-in jsondecode is missing: not measured.\n");
    return;
  endif
  keep = @(name) isempty (only) || ! isempty (regexp (name, only, "once"));

  ## Plain reading on the documents of the data folder.
  ratios = struct ();
  if (! isempty (datadir))
    files = dir (fullfile (datadir, "*.json"));
    for name = sort ({files.name})
      if (! keep (name{1}))
        continue;
      endif
      text = fileread (fullfile (datadir, name{1}));
      same = isequaln (ledgerdecode (text, "Plain", true),
                       ledgerplain (ledgerdecode (text)));
      t = best_times (runs, @() ledgerdecode (text, "Plain", true),
                      @() jsondecode (text, "makeValidName", false));
      [~, doc] = fileparts (name{1});
      ratios.(matlab.lang.makeValidName (doc)) = t(1) / t(2);
      printf ("%-52s %9.2f %9.2f ms %5.2f  (same as ledgerplain of the tree: %d)\n",
              sprintf ("%s: Plain / jsondecode", name{1}), 1e3 * t, t(1) / t(2),
              same);
      clear text;
    endfor
  endif

  ## Peak memory on the mixed document of 100 MB, each read alone.
  peak = [NaN NaN];
  if (! isempty (only) && keep ("mixed-100MB.json"))
    text = make_mixed (100e6);
    calls = {@() ledgerdecode(text, "Plain", true),
             @() jsondecode(text, "makeValidName", false)};
    for k = 1:2
      base = status_kb ("VmRSS");
      if (reset_hwm ())
        v = calls{k} ();
        peak(k) = (status_kb ("VmHWM") - base) / 1024;
        clear v;
      endif
    endfor
    printf ("mixed-100MB.json, peak memory above the start, MB: Plain %.0f, jsondecode %.0f\n",
            peak);
    clear text;
  endif

  ## Per call on a document of 50 bytes: best of rounds of N calls, looped
  ## here (a function handle per call would add to what is measured).
  doc = '{"id":12,"name":"abc","tags":["x","y"],"ok":true}';
  value = jsondecode (doc);
  f = fullfile (work, "plain-small.json");
  fs = fullfile (work, "plain-save.json");
  fb = fullfile (work, "plain-builtin.json");
  fid = fopen (f, "w");
  fwrite (fid, doc);
  fclose (fid);
  n = 5000;
  best = inf (1, 10);
  for round = 1:7
    t0 = tic (); for i = 1:n, jsondecode (doc); endfor; t(1) = toc (t0);
    t0 = tic (); for i = 1:n, ledgerdecode (doc); endfor; t(2) = toc (t0);
    t0 = tic (); for i = 1:n, ledgerdecode (doc, "Plain", true); endfor; t(3) = toc (t0);
    t0 = tic (); for i = 1:n, jsonencode (value); endfor; t(4) = toc (t0);
    t0 = tic (); for i = 1:n, ledgerencode (value); endfor; t(5) = toc (t0);
    t0 = tic (); for i = 1:n, jsondecode (fileread (f)); endfor; t(6) = toc (t0);
    t0 = tic (); for i = 1:n, loadledger (f); endfor; t(7) = toc (t0);
    t0 = tic (); for i = 1:n / 10, put_file (fb, jsonencode (value)); endfor; t(8) = toc (t0) * 10;
    t0 = tic (); for i = 1:n / 10, saveledger (value, fs, "Sync", false); endfor; t(9) = toc (t0) * 10;
    t0 = tic (); for i = 1:n / 50, saveledger (value, fs); endfor; t(10) = toc (t0) * 50;
    best = min (best, t / n * 1e6);
  endfor
  printf ("%d-byte document, us per call (best of 7 rounds):\n", numel (doc));
  row ("  ledgerdecode / jsondecode", best(2), best(1));
  row ("  ledgerdecode \"Plain\" / jsondecode", best(3), best(1));
  row ("  ledgerencode / jsonencode", best(5), best(4));
  row ("  loadledger / jsondecode (fileread)", best(7), best(6));
  row ("  saveledger \"Sync\" false / jsonencode + fopen/fwrite/fclose", best(9), best(8));
  row ("  saveledger (synced) / jsonencode + fopen/fwrite/fclose", best(10), best(8));

  ## Many small files in one call.
  folder = fullfile (work, "plain-files");
  mkdir (folder);
  nfiles = 10000;
  names = cell (nfiles, 1);
  for i = 1:nfiles
    names{i} = fullfile (folder, sprintf ("%05d.json", i));
    put_file (names{i}, small_record (i));
  endfor
  many = inf (1, 2);
  for round = 1:3
    t0 = tic (); v = loadledger (names, "Plain", true); many(1) = min (many(1), toc (t0));
    t0 = tic ();
    w = cell (nfiles, 1);
    for i = 1:nfiles
      w{i} = jsondecode (fileread (names{i}));
    endfor
    many(2) = min (many(2), toc (t0));
  endfor
  printf ("%d files of about %.0f bytes, ms (best of 3):\n", nfiles,
          mean (cellfun (@(x) numel (small_record (x)), num2cell (1:100))));
  row ("  loadledger (files, \"Plain\", true) / jsondecode (fileread) loop",
       1e3 * many(1), 1e3 * many(2));
  confirm_recursive_rmdir (false, "local");
  rmdir (folder, "s");

  printf ("\ntargets (ratios of best times, this run):\n");
  printf ("%-52s %-8s %-9s %s\n", "target", "limit", "measured", "result");
  for docname = {"canada", "citm_catalog", "twitter"}
    v = NaN;
    if (isfield (ratios, docname{1}))
      v = ratios.(docname{1});
    endif
    target (sprintf ("ledgerdecode Plain / jsondecode, %s", docname{1}),
            "<= 0.5", v, 0.5);
  endfor
  target ("Plain peak memory / jsondecode's, mixed-100MB", "<= 1.0",
          peak(1) / peak(2), 1.0);
  target ("per call, ledgerdecode / jsondecode", "<= 1.0", best(2) / best(1), 1.0);
  target ("per call, ledgerdecode Plain / jsondecode", "<= 1.0", best(3) / best(1), 1.0);
  target ("per call, ledgerencode / jsonencode", "<= 1.0", best(5) / best(4), 1.0);
  target ("per call, saveledger Sync false / built-in way", "<= 1.0", best(9) / best(8), 1.0);
  target ("10,000 files, loadledger Plain / jsondecode loop", "<= 0.5",
          many(1) / many(2), 0.5);

endfunction

function row (what, ours, other)
  printf ("%-64s %9.2f %9.2f %5.2f\n", what, ours, other, ours / other);
endfunction

## A record of about 1 KB: a sidecar's metadata.
function s = small_record (i)
  s = sprintf (['{"id":%d,"name":"scan %d","subject":"sub-%03d","session":%d,' ...
                '"tags":["anat","t1w","raw"],"shape":[256,256,%d],' ...
                '"voxel":[0.9375,0.9375,1.2],"ok":true,"note":null,' ...
                '"scanner":{"make":"Acme","model":"X-3000","field":3,' ...
                '"coil":"32ch","software":"v%d.%d.%d"},' ...
                '"sequence":{"tr":2.3,"te":0.00298,"ti":0.9,"flip":9,' ...
                '"echoes":[0.00298,0.00596,0.00894]},' ...
                '"events":[{"t":0,"what":"start"},{"t":12.5,"what":"motion"},' ...
                '{"t":300.25,"what":"stop"}],' ...
                '"history":"%s"}'], i, i, mod (i, 1000), mod (i, 4), 150 + mod (i, 50),
               mod (i, 9), mod (i, 7), mod (i, 5), repmat ("x", 1, 380));
endfunction

