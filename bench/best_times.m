## -*- texinfo -*-
## @deftypefn {ledgerkit} {@var{t} =} best_times (@var{runs}, @var{f1}, @var{f2}, @dots{})
## The least time in seconds of one call of each function handle over
## @var{runs} rounds, the functions taking turns in each round; a row with
## one time per function.  Each call is timed by @code{time_call}; an error
## that a function raises ends the benchmark.
## @end deftypefn

function t = best_times (runs, varargin)
  t = inf (1, numel (varargin));
  for i = 1:runs
    for k = 1:numel (varargin)
      [dt, fault] = time_call (varargin{k});
      if (! isempty (fault))
        error ("best_times: %s", fault);
      endif
      t(k) = min (t(k), dt);
    endfor
  endfor
endfunction
