## -*- texinfo -*-
## @deftypefn  {ledgerkit} {} bench ()
## @deftypefnx {ledgerkit} {} bench (@var{datadir})
## @deftypefnx {ledgerkit} {} bench (@var{datadir}, @var{runs}, @var{bigruns})
## @deftypefnx {ledgerkit} {} bench (@var{datadir}, @var{runs}, @var{bigruns}, @var{only})
## Time ledgerkit's reader and writer against the interpreter's built-in
## @code{jsondecode} and @code{jsonencode}, side by side in this process.
##
## The documents are every @file{*.json} in @var{datadir} (none when it is
## empty or omitted) and five that are generated here: 10^6 random doubles,
## one string of 50 MB, an object of 10^6 members and a mixed document of
## 10 MB and of 100 MB.  Each document is read and written @var{runs} times
## (default 7), the 100 MB one @var{bigruns} times (default 3), ours and the
## built-in taking turns.  Prints the table, the shortest number text against
## the plain precision search, the scaling from 10 MB to 100 MB, the peak
## memory for the 100 MB document and whether each target is met.  A
## non-empty @var{only}, a regular expression, keeps the documents whose
## names match it.
##
## Where the interpreter has no @code{jsondecode} and @code{jsonencode}
## (Octave 6), it says so and prints ledgerkit's own times and MB/s; the
## built-in columns and the ratios stay empty.
##
## Run it with @code{make bench} or @code{make bench DATA=@var{folder}}.
## @end deftypefn

function bench (datadir = "", runs = 7, bigruns = 3, only = "")

  top = fileparts (fileparts (mfilename ("fullpath")));
  for sub = {"tests", "inst", "convert", "writer", "reader", "stream", "tools"}
    if (isfolder (fullfile (top, sub{1})))
      addpath (fullfile (top, sub{1}));
    endif
  endfor
  ledger_autoload (top);

  if (! ischar (datadir))
    error ("bench: DATADIR must be a folder name");
  endif
  if (! isempty (datadir) && ! isfolder (datadir))
    error ("bench: the folder '%s' does not exist", datadir);
  endif

  has.scan = exist ("__ledgerscan__") == 3;
  has.emit = exist ("__ledgeremit__") == 3;
  has.oracle = exist ("__ledgeroracle__") == 3;
  has.builtin = __ledgerhasjson__ ();

  work = work_folder ();
  cleanup = onCleanup (@() remove_folder (work));

  printf ("ledgerkit benchmark, %s, Octave %s, %d cores, load %s\n",
          datestr (now (), "yyyy-mm-dd HH:MM"), OCTAVE_VERSION (), nproc (),
          load_average ());
  printf ("files under %s; %d runs per document, %d for the 100 MB one\n",
          work, runs, bigruns);
  printf ("first touch of fresh memory costs %.1f ms per MB here (256 MB timed)\n",
          fresh_memory_cost ());
  if (! has.scan)
    printf ("NOTE: __ledgerscan__ is missing (build reader/__ledgerscan__.oct with make): no 'ours' reading or writing.\n");
  endif
  if (! has.emit)
    printf ("NOTE: __ledgeremit__ is missing (build writer/__ledgeremit__.oct with make): no 'ours' writing.\n");
  endif
  if (! has.oracle)
    printf ("NOTE: __ledgeroracle__ is missing (make tests/__ledgeroracle__.oct): no shortest-text comparison.\n");
  endif
  if (! has.builtin)
    printf ("NOTE: this interpreter has no jsondecode or jsonencode: ledgerkit's own times and MB/s only.\n");
  endif
  if (isempty (datadir))
    printf ("no data folder: generated documents only\n");
  endif

  docs = document_list (datadir, runs, bigruns);
  if (! isempty (only))
    docs = docs(! cellfun (@isempty, regexp ({docs.name}, only, "once")));
  endif
  printf ("\n");
  print_header ();

  res = {};
  extra = struct ();
  for i = 1:numel (docs)
    d = docs(i);
    [text, aux] = feval (d.make);
    if (d.generated)
      put_file (fullfile (work, d.name), text);
    endif
    r = measure (d, text, work, has);
    print_rows (r);
    if (isfield (aux, "doubles"))
      extra.exact = exactness (aux.doubles, work, has);
      extra.shortest = shortest_text (aux.doubles, work, has, runs);
    endif
    if (isfield (aux, "members") && has.builtin)
      extra.object_note = quadratic_encode (aux.members);
    endif
    res{end+1} = r;
    clear text aux;
  endfor
  res = [res{:}];
  ## Files of more than 1 GB, read a batch at a time; LEDGER_BENCH_STREAM=0
  ## skips them.
  if (! strcmp (getenv ("LEDGER_BENCH_STREAM"), "0")
      && (isempty (only) || ! isempty (regexp ("stream", only, "once"))))
    bench_stream (work);
  endif
  if (isempty (res))
    printf ("no document to measure\n");
    return;
  endif

  print_notes (res, extra);
  print_targets (res, extra, has);
  bench_read (work);
  bench_write (datadir, work, runs);
  bench_convert (datadir, runs, bigruns, only, @make_mixed, @target);
  bench_plain (datadir, work, runs, only, @make_mixed, @target);

endfunction

## ---------------------------------------------------------------- documents

function docs = document_list (datadir, runs, bigruns)
  docs = struct ("name", {}, "make", {}, "runs", {}, "generated", {});
  if (! isempty (datadir))
    files = dir (fullfile (datadir, "*.json"));
    for f = sort ({files.name})
      file = fullfile (datadir, f{1});
      docs(end+1) = struct ("name", f{1}, "make", @() read_file (file),
                            "runs", runs, "generated", false);
    endfor
    if (isempty (files))
      printf ("NOTE: no *.json in %s\n", datadir);
    endif
  endif
  gen = {"doubles-1e6.json",  @() make_doubles (1e6),    runs;
         "string-50MB.json",  @() make_string (50),      runs;
         "object-1e6.json",   @() make_object (1e6),     runs;
         "mixed-10MB.json",   @() make_mixed (10e6),     runs;
         "mixed-100MB.json",  @() make_mixed (100e6),    bigruns};
  for i = 1:rows (gen)
    docs(end+1) = struct ("name", gen{i,1}, "make", gen{i,2},
                          "runs", gen{i,3}, "generated", true);
  endfor
endfunction

function [text, aux] = read_file (file)
  text = fileread (file);
  aux = struct ();
endfunction

## Random doubles of many magnitudes, each written with 17 digits.
function [text, aux] = make_doubles (n)
  rand ("state", 1);
  randn ("state", 1);
  x = randn (n, 1) .* 10 .^ randi ([-8, 8], n, 1);
  text = ["[" sprintf("%.17g,", x)];
  text(end) = "]";
  aux.doubles = x;
endfunction

## One string: words of random letters, an escape every 100 bytes, a
## two-byte UTF-8 letter every 100 bytes and a \u escape every 1000 bytes.
## A 1 MB block is repeated: generating 50 MB of random text takes long.
function [text, aux] = make_string (megabytes)
  rand ("state", 2);
  B = 1e6;
  s = char (randi ([97, 122], 1, B));
  s(rand (1, B) < 0.15) = " ";
  base = 1:100:B-100;
  k = base + randi ([0, 40], size (base));
  esc = '"\/bfnrt';
  s(k) = '\';
  s(k+1) = esc(randi (numel (esc), size (k)));
  k = base + randi ([50, 88], size (base));
  s(k) = char (195);
  s(k+1) = char (169);
  k = base(1:10:end) + 92;
  u = '\u00e9';
  for j = 1:numel (u)
    s(k+j-1) = u(j);
  endfor
  text = ['"' repmat(s, 1, megabytes) '"'];
  aux = struct ();
endfunction

## One object of N members with distinct keys and integer values.
function [text, aux] = make_object (n)
  k = 1:n;
  text = ["{" sprintf('"k%07d":%d,', [k; mod(k * 7919, 100003)])];
  text(end) = "}";
  aux.members = n;
endfunction

## An array of records: numbers, short texts with escapes and non-ASCII
## letters, a small array, a nested object, true, false and null.  The
## record count is proportional to BYTES, so the 100 MB document has
## exactly ten times the records of the 10 MB one.
function [text, aux] = make_mixed (bytes)
  tpl = ['{"id":%d,"name":"user %d","active":%s,"score":%.17g,' ...
         '"ratio":%.4f,"tags":["t%d","t%d","t%d"],' ...
         '"geo":{"lat":%.6f,"lon":%.6f},"note":null,' ...
         '"text":"caf\\u00e9 \\"%d\\" \\\\ l' char([195 164]) 'uft\\n"},'];
  per = numel (records (tpl, 1:1000, "false")) / 1000;
  n = round (10e6 / per) * bytes / 10e6;
  half = floor (n / 2);
  text = ["[" records(tpl, 1:half, "true") records(tpl, half+1:n, "false")];
  text(end) = "]";
  aux = struct ();
endfunction

function t = records (tpl, j, word)
  rand ("state", j(1));
  randn ("state", j(1));
  m = numel (j);
  M = [j; mod(j * 31, 9973); randn(1, m) * 1e3; rand(1, m);
       randi(50, 3, m); rand(1, m) * 180 - 90; rand(1, m) * 360 - 180; j];
  t = sprintf (strrep (tpl, "%s", word), M);
endfunction

## ---------------------------------------------------------------- counting

## JSON values in the text, keys not counted: every value but the root is
## an element or member of a container, and a container of n > 0 of them
## holds n - 1 commas, so values = 1 + commas + non-empty containers, all
## counted outside strings.  Vectorised over the quotes, commas and brackets
## only, it takes well under a second for 100 MB.
function n = count_nodes (t)
  q = find (t == '"');
  ## A quote preceded by an odd run of backslashes is inside a string.
  run = zeros (size (q));
  k = q - 1;
  live = k >= 1;
  live(live) = t(k(live)) == '\';
  while (any (live))
    run(live) += 1;
    k(live) -= 1;
    live(live) = k(live) >= 1;
    live(live) = t(k(live)) == '\';
  endwhile
  q = q(mod (run, 2) == 0);
  outside = @(p) p(mod (lookup (q, p), 2) == 0);
  commas = numel (outside (find (t == ",")));
  open = outside (find (t == "[" | t == "{"));
  k = open + 1;
  live = k <= numel (t);
  live(live) = is_space (t(k(live)));
  while (any (live))
    k(live) += 1;
    live(live) = k(live) <= numel (t);
    live(live) = is_space (t(k(live)));
  endwhile
  k = min (k, numel (t));
  empty = sum (t(k) == "]" | t(k) == "}");
  n = 1 + commas + numel (open) - empty;
endfunction

function y = is_space (c)
  y = c == " " | c == "\n" | c == "\r" | c == "\t";
endfunction

## ---------------------------------------------------------------- measuring

## Reading, then writing the tree and value of the last read; in every run
## ours and the built-in take turns, the one that goes first alternating.
## The first run also records each call's peak memory.
function r = measure (d, text, work, has)
  n = d.runs;
  r = struct ("name", d.name, "bytes", numel (text),
              "nodes", count_nodes (text), "runs", n,
              "read_ours", nan (1, n), "read_bi", nan (1, n),
              "write_ours", nan (1, n), "write_bi", nan (1, n),
              "mem", struct ("read_ours", NaN, "read_bi", NaN,
                             "write_ours", NaN, "write_bi", NaN,
                             "hwm", 0, "base", NaN),
              "faults", struct ("read_ours", NaN, "read_bi", NaN,
                                "write_ours", NaN, "write_bi", NaN),
              "alone", [],
              "note", {{}});
  fours = fullfile (work, "out-ours.json");
  fbi = fullfile (work, "out-builtin.json");
  r.mem.base = status_kb ("VmRSS");
  reset_hwm ();

  [r, read, can] = take_turns (r, {"read_ours", "read_bi"},
                               {"__ledgerscan__", "jsondecode"},
                               {@() scan(text), @() jsondecode(text)},
                               [has.scan, has.builtin]);
  [tree, value] = read{:};
  clear read;
  can(1) = can(1) && has.emit;
  if (can(2) && strncmp (d.name, "object-", 7))
    r = add_note (r, "jsonencode", "not run on this one: see below");
    can(2) = false;
  endif
  [r, ~, can] = take_turns (r, {"write_ours", "write_bi"},
                            {"__ledgeremit__", "jsonencode"},
                            {@() emit(tree, fours), @() encode(value, fbi)},
                            can);
  can_ours = can(1);
  r.mem.hwm = max (r.mem.hwm, status_kb ("VmHWM"));
  tree = [];
  value = [];
  if (strncmp (d.name, "mixed-", 6) && can_ours)
    r.alone = alone (text, fours, 4);
  endif
endfunction

## The runs of ours and the built-in (CALLS), taking turns as ORDER says,
## their times and memory kept under FIELDS.  A call that fails is noted
## under its name in NAMES and not made again: CAN tells which still may
## be.  OUT holds what each returned in its last run.
function [r, out, can] = take_turns (r, fields, names, calls, can)
  out = {[], []};
  for i = 1:r.runs
    for who = order (i)
      if (can(who))
        out{who} = [];
        [r, fault, out{who}] = step (r, i, fields{who}, calls{who});
        if (! isempty (fault))
          r = add_note (r, names{who}, fault);
          can(who) = false;
        endif
      endif
    endfor
  endfor
endfunction

## One timed call of F in run I, its time kept in R.(FIELD)(I) and, in the
## first run, its peak memory and page faults under FIELD; the fault it
## raised (empty if none) and, when asked, what it returned.
function [r, fault, out] = step (r, i, field, f)
  [m0, r.mem] = mem_start (i, r.mem);
  if (nargout > 2)
    [dt, fault, out] = time_call (f);
  else
    [dt, fault] = time_call (f);
  endif
  [r.mem, r.faults] = mem_peak (i, m0, r.mem, r.faults, field);
  if (isempty (fault))
    r.(field)(i) = dt;
  endif
endfunction

## The calls timed: ours read and write, the built-in write to a file.  A
## fault that ours returns is raised, as the built-in's are.
function tree = scan (text)
  [tree, msg] = __ledgerscan__ (text, false, false, false);
  if (! isempty (msg))
    error ("%s", msg);
  endif
endfunction

function msg = emit (tree, file)
  msg = __ledgeremit__ (tree, file, false, false);
  if (! isempty (msg))
    error ("%s", msg);
  endif
endfunction

function s = encode (value, file)
  s = jsonencode (value);
  fid = fopen (file, "w");
  fwrite (fid, s);
  fclose (fid);
endfunction

## Ours alone, back to back, for the scaling check.  Interleaved with the
## built-in, which takes and frees a lot of memory between our calls, ours
## gets fresh pages on some runs and reused ones on others, and on this
## machine fresh pages can cost more than the reading itself; alone, every
## run but the first reuses the heap that the previous tree left.
function a = alone (text, file, k)
  a = struct ("read", nan (1, k), "write", nan (1, k));
  tree = [];
  for i = 1:k
    tree = [];
    [a.read(i), ~, tree] = time_call (@() scan (text));
  endfor
  for i = 1:k
    a.write(i) = time_call (@() emit (tree, file));
  endfor
endfunction

function w = order (i)
  if (mod (i, 2))
    w = [1, 2];
  else
    w = [2, 1];
  endif
endfunction

## A failure of WHO, named once.
function r = add_note (r, who, msg)
  if (! strncmp (msg, [who ":"], numel (who) + 1))
    msg = [who ": " msg];
  endif
  r.note{end+1} = msg;
endfunction

## Peak memory of one call above the resident size before it, in kB; only
## in the first run, so that nothing timed pays for resetting the high-water
## mark.  mem.hwm keeps the peak of the whole step across those resets.
## The minor page faults of the call, as kB of fresh memory, tell how much
## of its time went to the system handing out pages.
function [m0, mem] = mem_start (i, mem)
  m0 = [NaN, NaN];
  if (i == 1)
    mem.hwm = max (mem.hwm, status_kb ("VmHWM"));
    if (reset_hwm ())
      m0(1) = status_kb ("VmRSS");
    endif
    m0(2) = getrusage ().minflt;
  endif
endfunction

function [mem, faults] = mem_peak (i, m0, mem, faults, field)
  if (i == 1)
    faults.(field) = (getrusage ().minflt - m0(2)) * 4;
    if (! isnan (m0(1)))
      hwm = status_kb ("VmHWM");
      mem.(field) = hwm - m0(1);
      mem.hwm = max (mem.hwm, hwm);
    endif
  endif
endfunction

## Do the doubles come back exact?  Both outputs are read back by the C
## library's strtod (through sscanf), independently of either reader.
function e = exactness (x, work, has)
  e = struct ("ours", NaN, "bi", NaN, "n", numel (x));
  f = fullfile (work, "out-ours.json");
  if (has.scan && has.emit)
    e.ours = same_doubles (fileread (f), x);
  endif
  if (has.builtin)
    e.bi = same_doubles (jsonencode (x), x);
  endif
endfunction

function k = same_doubles (t, x)
  y = sscanf (t(2:end-1), "%f,");
  if (numel (y) != numel (x))
    k = 0;
  else
    k = sum (y(:) == x(:));
  endif
endfunction

## Shortest text: our writer on the 10^6 doubles as one numeric array
## (including the write to a file in memory) against the plain precision
## search on the first 10^5 of them, in ns per double; the two texts of
## those 10^5 must agree.
function s = shortest_text (x, work, has, runs)
  s = struct ("ours", NaN, "oracle", NaN, "same", NaN, "n_oracle", 1e5,
              "write_ratio", NaN);
  f = fullfile (work, "out-ours.json");
  xs = x(1:s.n_oracle);
  t_ours = nan (1, runs);
  t_or = nan (1, 3);
  t_bi = nan (1, runs);
  for i = 1:runs
    if (has.emit)
      t_ours(i) = time_call (@() emit (x, f));
    endif
    if (has.oracle && i <= 3)
      t_or(i) = time_call (@() __ledgeroracle__ ("shortest", xs, true));
    endif
    if (has.builtin)
      t_bi(i) = time_call (@() encode (x, f));
    endif
  endfor
  s.ours = min (t_ours) / numel (x) * 1e9;
  s.oracle = min (t_or) / numel (xs) * 1e9;
  s.write_ratio = min (t_ours) / min (t_bi);
  if (has.emit && has.oracle)
    __ledgeremit__ (xs, f, false, false);
    t = fileread (f);
    s.same = strcmp (t(2:end-1), __ledgeroracle__ ("shortest", xs, true));
  endif
endfunction

## jsonencode takes time quadratic in the number of fields of a structure,
## so it is timed on a few thousand members and not on 10^6.
function note = quadratic_encode (n)
  m = [1000, 2000, 4000];
  t = zeros (size (m));
  for i = 1:numel (m)
    v = jsondecode (["{" sprintf('"k%07d":%d,', [1:m(i); 1:m(i)])(1:end-1) "}"]);
    t(i) = time_call (@() jsonencode (v));
  endfor
  est = t(end) * (n / m(end)) ^ 2;
  note = sprintf (["object-1e6.json: the built-in write is not run: jsonencode " ...
                   "of an object of %d, %d, %d members takes %.2f, %.2f, " ...
                   "%.2f s, about %.1f times as long for twice the members; " ...
                   "at that rate 10^6 members would take about %.0f hours."],
                  m, t, t(end) / t(end-1), est / 3600);
endfunction

## ---------------------------------------------------------------- printing

function print_header ()
  printf ("%-18s %10s %9s %-5s %4s | %9s %9s %7s | %9s %9s %7s | %5s %5s\n",
          "", "", "", "", "", "ours", "", "", "built-in", "", "", "ratio", "");
  printf ("%-18s %10s %9s %-5s %4s | %9s %9s %7s | %9s %9s %7s | %5s %5s\n",
          "document", "bytes", "nodes", "op", "runs", "best ms", "median",
          "MB/s", "best ms", "median", "MB/s", "best", "med");
  printf ("%s\n", repmat ("-", 1, 113));
endfunction

function print_rows (r)
  row (r.name, sprintf ("%10d", r.bytes), sprintf ("%9d", r.nodes), "read",
       r.runs, r.read_ours, r.read_bi, r.bytes);
  row ("", "", "", "write", r.runs, r.write_ours, r.write_bi, r.bytes);
  if (! isempty (r.note))
    printf ("    %s\n", r.note{:});
  endif
  fflush (stdout);
endfunction

function row (name, bytes, nodes, op, n, a, b, nbytes)
  printf ("%-18s %10s %9s %-5s %4d | %s | %s | %s %s\n", name, bytes, nodes,
          op, n, cols (a, nbytes), cols (b, nbytes),
          num (min (a) / min (b), "%5.2f"), num (median (a) / median (b), "%5.2f"));
endfunction

function s = cols (t, nbytes)
  s = sprintf ("%9s %9s %7s", num (1e3 * min (t), "%9.2f"),
               num (1e3 * median (t), "%9.2f"), num (nbytes / 1e6 / min (t), "%7.1f"));
endfunction

function s = num (x, fmt)
  if (isnan (x) || isempty (x))
    s = sprintf (regexprep (fmt, '\.\d+[fg]|[fgd]', "s"), "-");
  else
    s = sprintf (fmt, x);
  endif
endfunction

function print_notes (res, extra)
  printf ("\nbest and median of the runs in ms; MB/s = document bytes / best time ");
  printf ("(MB = 10^6 bytes);\nratio = ours / built-in (below 1: ours is faster). ");
  printf ("Reading: __ledgerscan__ (all options off) vs jsondecode.\n");
  printf ("Writing: __ledgeremit__ (compact) of our tree vs jsonencode of jsondecode's value ");
  printf ("+ fopen/fwrite/fclose, both to files in memory.\n");
  printf ("nodes: JSON values counted in the text (1 + commas + non-empty containers, ");
  printf ("outside strings); keys not counted.\n");
  if (isfield (extra, "object_note"))
    printf ("%s\n", extra.object_note);
  endif

  if (isfield (extra, "shortest"))
    s = extra.shortest;
    printf ("\nshortest number text, ns per double (best run):\n");
    printf ("  ours, __ledgeremit__ writing the 10^6 doubles as one array to a file: %s\n",
            num (s.ours, "%.1f"));
    printf ("  literal precision search, __ledgeroracle__ on the first %d of them: %s\n",
            s.n_oracle, num (s.oracle, "%.1f"));
    printf ("  speed-up: %s times; same text on those %d: %s\n",
            num (s.oracle / s.ours, "%.1f"), s.n_oracle, yes_no (s.same));
    printf ("  the same array through jsonencode + fwrite: ratio ours / built-in %s\n",
            num (s.write_ratio, "%.2f"));
  endif
  if (isfield (extra, "exact"))
    e = extra.exact;
    printf ("doubles read back exactly after writing (by strtod): ours %s of %d, built-in %s of %d\n",
            num (e.ours, "%d"), e.n, num (e.bi, "%d"), e.n);
  endif

  [s10, s100] = scaling_docs (res);
  if (! isempty (s10))
    printf ("\nscaling, time for %s / time for %s (%.2f times the bytes):\n",
            s100.name, s10.name, s100.bytes / s10.bytes);
    [rd, wr] = alone_ratios (s10, s100);
    printf ("  ours alone, best of 4 back to back: reading %s, writing %s\n",
            num (rd, "%.2f"), num (wr, "%.2f"));
    printf ("  in the table above, best times: reading ours %s, built-in %s; ",
            num (min (s100.read_ours) / min (s10.read_ours), "%.2f"),
            num (min (s100.read_bi) / min (s10.read_bi), "%.2f"));
    printf ("writing ours %s, built-in %s\n",
            num (min (s100.write_ours) / min (s10.write_ours), "%.2f"),
            num (min (s100.write_bi) / min (s10.write_bi), "%.2f"));
    if (! isempty (s10.alone) && ! isempty (s100.alone))
      printf ("  ours alone, best ms: reading 10 MB %.0f, 100 MB %.0f; ",
              1e3 * min (s10.alone.read), 1e3 * min (s100.alone.read));
      printf ("writing 10 MB %.0f, 100 MB %.0f\n",
              1e3 * min (s10.alone.write), 1e3 * min (s100.alone.write));
    endif
    m = s100.mem;
    f = s100.faults;
    printf ("\npeak memory for %s (text of %.0f MB held throughout):\n",
            s100.name, s100.bytes / 1e6);
    printf ("  VmHWM of the process after this document's step: %s MB ",
            num (m.hwm / 1024, "%.0f"));
    printf ("(high-water mark reset at the step's start via /proc/self/clear_refs;\n");
    printf ("  resident size at the start: %s MB)\n", num (m.base / 1024, "%.0f"));
    printf ("  first run, MB    %12s %12s %12s %12s\n", "read ours", "jsondecode",
            "write ours", "jsonencode");
    printf ("  peak above start %12s %12s %12s %12s\n", mb (m.read_ours),
            mb (m.read_bi), mb (m.write_ours), mb (m.write_bi));
    printf ("  fresh pages      %12s %12s %12s %12s\n", mb (f.read_ours),
            mb (f.read_bi), mb (f.write_ours), mb (f.write_bi));
    printf ("  (fresh pages: the process's minor page faults x 4 kB; the pages of a file are not counted)\n");
  endif
endfunction

function s = mb (kb)
  s = num (kb / 1024, "%.0f");
endfunction

## Ratios 100 MB / 10 MB of the best times of ours alone.
function [rd, wr] = alone_ratios (a, b)
  rd = wr = NaN;
  if (! isempty (a.alone) && ! isempty (b.alone))
    rd = min (b.alone.read) / min (a.alone.read);
    wr = min (b.alone.write) / min (a.alone.write);
  endif
endfunction

function [a, b] = scaling_docs (res)
  a = [];
  b = [];
  i = find (strcmp ({res.name}, "mixed-10MB.json"));
  j = find (strcmp ({res.name}, "mixed-100MB.json"));
  if (! isempty (i) && ! isempty (j))
    a = res(i);
    b = res(j);
  endif
endfunction

function s = yes_no (x)
  if (isnan (x))
    s = "-";
  elseif (x)
    s = "yes";
  else
    s = "NO";
  endif
endfunction

## ---------------------------------------------------------------- targets

function print_targets (res, extra, has)
  printf ("\ntargets (ratios of best times, this run):\n");
  printf ("%-52s %-8s %-9s %s\n", "target", "limit", "measured", "result");
  lim = struct ("canada", 0.85, "citm_catalog", 0.75, "twitter", 0.75);
  for doc = {"canada", "citm_catalog", "twitter"}
    r = find_doc (res, [doc{1} ".json"]);
    v = ratio (r, "read");
    target (sprintf ("read %s", doc{1}), sprintf ("< %.2f", lim.(doc{1})),
            v, lim.(doc{1}));
  endfor
  for doc = {"canada", "citm_catalog", "twitter"}
    r = find_doc (res, [doc{1} ".json"]);
    v = ratio (r, "write");
    target (sprintf ("write %s (aim < 0.75: %s)", doc{1}, aim (v)),
            "< 1.0", v, 1.0);
  endfor
  r = find_doc (res, "doubles-1e6.json");
  v = ratio (r, "write");
  exact = NaN;
  if (isfield (extra, "exact") && ! isnan (extra.exact.ours))
    exact = extra.exact.ours == extra.exact.n;
  endif
  target (sprintf ("write 10^6 doubles (ours exact: %s)", yes_no (exact)),
          "< 0.5", v, 0.5, exact);
  [a, b] = scaling_docs (res);
  lim = 11;
  rd = wr = NaN;
  if (! isempty (a))
    lim = 1.1 * b.bytes / a.bytes;
    [rd, wr] = alone_ratios (a, b);
  endif
  limit = sprintf ("<= %.1f", lim);
  target ("scaling 10 MB -> 100 MB, read (best, ours alone)", limit, rd, lim);
  target ("scaling 10 MB -> 100 MB, write (best, ours alone)", limit, wr, lim);
  v = NaN;
  if (isfield (extra, "shortest"))
    v = extra.shortest.oracle / extra.shortest.ours;
  endif
  target ("shortest text vs precision search", ">= 20x", v, 20);
endfunction

function r = find_doc (res, name)
  r = [];
  i = find (strcmp ({res.name}, name));
  if (! isempty (i))
    r = res(i);
  endif
endfunction

function v = ratio (r, op)
  v = NaN;
  if (! isempty (r))
    v = min (r.([op "_ours"])) / min (r.([op "_bi"]));
  endif
endfunction

function s = aim (v)
  if (isnan (v))
    s = "-";
  elseif (v < 0.75)
    s = "met";
  else
    s = "not met";
  endif
endfunction

## One line of the summary.  LIMIT is shown and read: "< x", "<= x" or
## ">= x", the value to meet is LIM.  A false or unknown EXTRA_OK (a
## condition besides the number) fails the target too.
function target (what, limit, v, lim, extra_ok = true)
  if (isnan (v))
    res = "not measured";
    m = "-";
  else
    switch (strtok (limit))
      case "<"
        ok = v < lim;
      case "<="
        ok = v <= lim;
      otherwise
        ok = v >= lim;
    endswitch
    if (strncmp (limit, ">=", 2))
      m = sprintf ("%.1fx", v);
    else
      m = sprintf ("%.2f", v);
    endif
    if (ok && isequal (extra_ok, true))
      res = "met";
    else
      res = "NOT MET";
    endif
  endif
  printf ("%-52s %-8s %-9s %s\n", what, limit, m, res);
endfunction

## ---------------------------------------------------------------- files

function w = work_folder ()
  name = sprintf ("ledgerkit-bench-%d", getpid ());
  w = fullfile ("/dev/shm", name);
  if (! isfolder ("/dev/shm") || ! mkdir (w))
    w = fullfile (tempdir (), name);
    [ok, msg] = mkdir (w);
    if (! ok)
      error ("bench: cannot make the folder '%s': %s", w, msg);
    endif
  endif
endfunction

function remove_folder (w)
  if (isfolder (w))
    confirm_recursive_rmdir (false, "local");
    rmdir (w, "s");
  endif
endfunction

## Large documents need fresh pages from the system, whose cost varies
## widely between machines (here it can exceed that of the reading itself);
## it is printed to read the big rows by.
function ms = fresh_memory_cost ()
  ms = time_call (@() ones (1, 2^25)) * 1e3 / 256;
endfunction

function s = load_average ()
  s = "?";
  fid = fopen ("/proc/loadavg", "r");
  if (fid >= 0)
    s = strtrim (fgetl (fid));
    fclose (fid);
    s = strjoin (strsplit (s)(1:3), " ");
  endif
endfunction
