## -*- texinfo -*-
## @deftypefn  {ledgerkit} {[@var{t}, @var{fault}] =} time_call (@var{f})
## @deftypefnx {ledgerkit} {[@var{t}, @var{fault}, @var{out}] =} time_call (@var{f})
## The time in seconds of one call of the function handle @var{f}: the one
## timing step of the benchmark.
##
## An error that @var{f} raises is not timed: @var{t} is then NaN and
## @var{fault} its message (empty otherwise).  With three outputs @var{out}
## is what @var{f} returns; otherwise its result is dropped on return, so
## that it holds no memory while the next call is timed.
## @end deftypefn

function [t, fault, out] = time_call (f)
  t = NaN;
  fault = "";
  out = [];
  try
    t0 = tic ();
    if (nargout > 2)
      out = f ();
    else
      f ();
    endif
    t = toc (t0);
  catch err
    fault = err.message;
  end_try_catch
endfunction
