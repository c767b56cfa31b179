## -*- texinfo -*-
## @deftypefn {ledgerkit} {} bench_stream (@var{work})
## Read files larger than a gigabyte with @code{ledgerstream} in batches of
## 10,000 records, in the folder @var{work}: JSON Lines, the same file
## gzip-compressed, and one top-level array.  Prints the time per MB against
## @code{loadledger (file, "Lines", true)} on a file small enough to fit,
## the peak resident memory (VmHWM) above the interpreter's before the loop,
## and whether each target is met.  The files are removed afterwards.
## @end deftypefn

function bench_stream (work)

  printf ("\nstreaming: files of more than 1 GB in batches of 10,000 records\n");
  if (exist ("__ledgerstream__") != 3 || exist ("__ledgerscan__") != 3)
    printf ("NOTE: stream/__ledgerstream__.oct or the reader is missing: not measured.\n");
    return;
  endif
  batch = 10000;
  recs = log_records (batch, 5);
  chunk = [strjoin(recs, "\n") "\n"];
  copies = ceil (2^30 / numel (chunk));

  ## The small file: the same records, read whole.
  small = fullfile (work, "small.jsonl");
  put_file (small, repmat (chunk, 1, 20));
  small_mb = numel (chunk) * 20 / 2^20;
  ## Times are the process's CPU time, as the machine is shared: the best
  ## of three reads, each with the release of its records, which the
  ## stream's loop pays for too.
  t_load = inf;
  for round = 1:3
    c0 = cputime ();
    x = loadledger (small, "Lines", true);
    clear x;
    t_load = min (t_load, cputime () - c0);
  endfor
  per_mb_load = t_load / small_mb;
  delete (small);

  big = fullfile (work, "big.jsonl");
  unwind_protect
    write_copies (big, chunk, copies, "", "", "");
    mb = numel (chunk) * copies / 2^20;
    [t, rise, largest, n] = stream_file (big, batch);
    printf ("%-60s %8.0f MB, %d records\n", "JSON Lines file", mb, n);
    per_mb = t / mb;
    printf ("%-60s %8.2f ms/MB\n", "loadledger (\"Lines\") on a small file, CPU", per_mb_load * 1e3);
    printf ("%-60s %8.2f ms/MB  (%.2fx)\n", "ledgerstream, batches of 10,000, CPU", per_mb * 1e3, per_mb / per_mb_load);
    mem_row (rise, largest);
    verdict ("stream time per MB at most 1.1x loadledger's", per_mb <= 1.1 * per_mb_load);

    gz = [big ".gz"];
    if (system (sprintf ("gzip -1 -c '%s' > '%s'", big, gz)) == 0)
      delete (big);
      [t_gz, rise, largest] = stream_file (gz, batch);
      printf ("%-60s %8.2f ms/MB  (%.2fx the plain stream)\n", "ledgerstream, gzip file", t_gz / mb * 1e3, t_gz / t);
      mem_row (rise, largest);
      verdict ("gzip stream at most 1.6x the plain stream's time", t_gz <= 1.6 * t);
      delete (gz);
    else
      printf ("NOTE: gzip failed: the gzip file is not measured.\n");
    endif
  unwind_protect_cleanup
    remove (big);
    remove ([big ".gz"]);
  end_unwind_protect

  arr = fullfile (work, "big-array.json");
  unwind_protect
    write_copies (arr, strjoin (recs, ","), copies, "[", ",", "]");
    [t_arr, rise, largest, n] = stream_file (arr, batch, "Array", true);
    printf ("%-60s %8.2f ms/MB, %d records\n", "ledgerstream \"Array\", one array of the same records", t_arr / mb * 1e3, n);
    mem_row (rise, largest);
  unwind_protect_cleanup
    remove (arr);
  end_unwind_protect

endfunction

## Reads FILE whole with ledgerstream: the CPU time, the rise of the peak
## resident memory above the interpreter's before the loop (MB), the
## largest batch's values (MB) and the count of records.
function [t, rise, largest, n] = stream_file (file, batch, varargin)
  reset_hwm ();
  before = status_kb ("VmHWM");
  s = ledgerstream (file, varargin{:});
  largest = 0;
  n = 0;
  c0 = cputime ();
  while (! done (s))
    r = read (s, batch);
    n += numel (r);
    w = whos ("r");
    largest = max (largest, w.bytes);
  endwhile
  clear r;
  t = cputime () - c0;
  close (s);
  rise = (status_kb ("VmHWM") - before) / 1024;
  largest /= 2^20;
endfunction

function mem_row (rise, largest)
  printf ("%-60s %8.1f MB (largest batch's values %.1f MB)\n", "  peak memory above the interpreter's before the loop", rise, largest);
  verdict ("  peak at most 64 MB above, plus the largest batch", rise <= 64 + largest);
endfunction

function verdict (what, ok)
  printf ("%-60s %s\n", what, ifelse (ok, "met", "NOT MET"));
endfunction

function y = ifelse (c, a, b)
  if (c)
    y = a;
  else
    y = b;
  endif
endfunction

## FILE: HEAD, then COPIES copies of TEXT set apart by SEP, then TAIL.
function write_copies (file, text, copies, head, sep, tail)
  fid = fopen (file, "w");
  fwrite (fid, head);
  for i = 1:copies
    if (i > 1)
      fwrite (fid, sep);
    endif
    fwrite (fid, text);
  endfor
  fwrite (fid, tail);
  fclose (fid);
endfunction

function remove (file)
  if (exist (file, "file"))
    delete (file);
  endif
endfunction

