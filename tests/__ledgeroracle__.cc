// __ledgeroracle__: plain reference conversions that the tests hold the
// modules' fast paths against.  Test-only; not installed.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <octave/oct.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The literal precision search: format at 1, 2, ... 17 significant digits
// and keep the first text that reads back as the same double.
static std::string
search_shortest (double x, bool point)
{
  if (std::isnan (x))
    return "NaN";
  if (std::isinf (x))
    return x > 0 ? "Inf" : "-Inf";
  std::string sign = std::signbit (x) ? "-" : "";
  if (x == 0)
    return sign + (point ? "0.0" : "0");

  double m = std::fabs (x);
  char buf[40];
  for (int p = 0; p <= 16; p++)
    {
      std::snprintf (buf, sizeof buf, "%.*e", p, m);
      if (std::strtod (buf, nullptr) == m)
        break;
    }

  char *e = std::strchr (buf, 'e');
  int E = std::atoi (e + 1);
  std::string digits;
  for (char *q = buf; q < e; q++)
    if (*q != '.')
      digits += *q;
  while (digits.size () > 1 && digits.back () == '0')
    digits.pop_back ();
  int n = digits.size ();

  std::string body;
  if (E >= 0 && E <= 20 && n <= E + 1)
    {
      body = digits + std::string (E + 1 - n, '0');
      if (point)
        body += ".0";
    }
  else if (E >= 0 && E <= 20)
    body = digits.substr (0, E + 1) + "." + digits.substr (E + 1);
  else if (E >= -6 && E <= -1)
    body = "0." + std::string (-E - 1, '0') + digits;
  else if (n == 1)
    body = digits + "e" + std::to_string (E);
  else
    body = digits.substr (0, 1) + "." + digits.substr (1) + "e"
           + std::to_string (E);
  return sign + body;
}

DEFUN_DLD (__ledgeroracle__, args, ,
           "-*- texinfo -*-\n"
           "@deftypefn  {} {@var{txt} =} __ledgeroracle__ "
           "(\"shortest\", @var{x}, @var{point})\n"
           "@deftypefnx {} {@var{d} =} __ledgeroracle__ "
           "(\"strtod\", @var{text})\n"
           "Reference conversions for the tests.\n\n"
           "@qcode{\"shortest\"}: the shortest read-back text of every "
           "element of the double array @var{x}, found by the literal "
           "precision search, joined by commas.  @qcode{\"strtod\"}: the "
           "doubles that @code{strtod} reads from the comma-separated number "
           "literals of @var{text}, as a column.\n"
           "@end deftypefn")
{
  if (args.length () < 2 || ! args(0).is_string ())
    print_usage ();
  const std::string mode = args(0).string_value ();

  if (mode == "shortest")
    {
      if (args.length () != 3)
        print_usage ();
      const NDArray x = args(1).array_value ();
      const bool point = args(2).bool_value ();
      std::string out;
      for (octave_idx_type i = 0; i < x.numel (); i++)
        {
          if (i > 0)
            out += ',';
          out += search_shortest (x(i), point);
        }
      return ovl (octave_value (out, '\''));
    }

  if (mode == "strtod")
    {
      if (args.length () != 2)
        print_usage ();
      const std::string text = args(1).string_value ();
      octave_idx_type n = text.empty () ? 0 : 1;
      for (char c : text)
        n += (c == ',');
      ColumnVector d (n);
      std::size_t start = 0;
      for (octave_idx_type i = 0; i < n; i++)
        {
          std::size_t end = text.find (',', start);
          if (end == std::string::npos)
            end = text.size ();
          d(i) = std::strtod (text.substr (start, end - start).c_str (),
                              nullptr);
          start = end + 1;
        }
      return ovl (d);
    }

  error ("__ledgeroracle__: unknown mode '%s'", mode.c_str ());
}

/*
%!assert (__ledgeroracle__ ("shortest", [1, 2^-44, -0, 1e21, NaN], true),
%!        "1.0,5.6843418860808015e-14,-0.0,1e21,NaN")
%!assert (__ledgeroracle__ ("shortest", [1, 1e-7, 1e20], false),
%!        "1,1e-7,100000000000000000000")
%!assert (__ledgeroracle__ ("strtod", "0.1,-0,1e400"), [0.1; -0; Inf])
%!error <unknown mode> __ledgeroracle__ ("neither", 1)
*/
