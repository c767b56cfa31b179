// Number text: every number as JSON text, for values and for keys alike,
// and the reading of a number literal.  One unit, so that a double key and
// a double value get the same digits everywhere.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_NUMBER_TEXT_H
#define LEDGERKIT_CORE_NUMBER_TEXT_H

#include <octave/oct.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "tree.h"

// The correctly rounded double of the number literal from FIRST to LAST;
// beyond the double range an infinity of its sign, below it zero or a
// subnormal.
inline double
read_double (const char *first, const char *last)
{
  return ledger::to_double (first, last);
}

// The text of a number: an integer in plain digits, a double in its
// correctly rounded digits at the fewest count that reads back as the same
// double.  Written into a small buffer of the caller's.
struct number_text
{
  // Plain decimal digits, "-" in front of a negative number.
  template <typename T>
  static char * digits (char *buf, T x)
  {
    return std::to_chars (buf, buf + 32, x).ptr;
  }

  static std::string double_string (double x, bool point)
  {
    char buf[40];
    return std::string (buf, double_chars (buf, x, point));
  }

  // The text of X into BUF (40 bytes); returns its length.  The digits are
  // those of the correctly rounded scientific form at the smallest precision
  // that reads back as X.  No precision below the shortest round-trip digit
  // count reads back, so the search starts there.  The shortest digits are
  // the nearest of their length to X, so they are the correctly rounded
  // ones whenever the doubles around X are evenly spaced; only at a power
  // of two, where the gap below is half the gap above, can the correctly
  // rounded digits of that length fall outside and need more digits.
  static std::size_t double_chars (char *buf, double x, bool point)
  {
    if (std::isnan (x))
      return put (buf, "NaN");
    if (std::isinf (x))
      return put (buf, x > 0 ? "Inf" : "-Inf");
    char *p = buf;
    if (std::signbit (x))
      *p++ = '-';
    const double m = std::fabs (x);
    if (m == 0)
      return p - buf + put (p, point ? "0.0" : "0");

    char d[24];
    int n, E;
    if (m < ledger::two53 && m == std::trunc (m))
      {
        // A whole number below 2^53 is its own shortest text: any decimal
        // with fewer digits is a whole number at least 1 away, beyond the
        // half gap to its neighbours.
        n = std::to_chars (d, d + sizeof d,
                           static_cast<std::uint64_t> (m)).ptr - d;
        E = n - 1;
      }
    else
      {
        char sci[32];
        char *sci_end = shortest_scientific (sci, m);
        if (lopsided (m))
          sci_end = round_back (sci, sci_end, m);
        n = split (sci, sci_end, d, E);
      }
    while (n > 1 && d[n-1] == '0')
      n--;
    return p - buf + layout (p, d, n, E, point);
  }

  // The shortest scientific text of M ("d.ddde+XX") that reads back as M,
  // of those the nearest to M, into BUF (32 bytes); returns its end.  The
  // one place that asks the library for the digits of a double.
  static char * shortest_scientific (char *buf, double m)
  {
    return ledger::shortest_scientific (buf, buf + 32, m);
  }

  // True when a double holds the integer X exactly; the double in D.
  template <typename T>
  static bool exact_double (T x, double& d)
  {
    d = static_cast<double> (x);
    if constexpr (sizeof (T) < 8)
      return true;
    else if constexpr (std::is_signed_v<T>)
      return d < 9223372036854775808.0 && static_cast<T> (d) == x;
    else
      return d < 18446744073709551616.0 && static_cast<T> (d) == x;
  }

  // The text of X as canonical JSON writes it, into BUF (40 bytes);
  // returns its length.  X is finite.  The digits are the shortest that
  // read back, of those the nearest to X, with no rounding back at a
  // power of two; positional for exponents from -6 to 20; "e+" before a
  // positive exponent; no ".0"; -0 is 0.
  static std::size_t canonical_chars (char *buf, double x)
  {
    char *p = buf;
    if (x < 0)
      *p++ = '-';
    const double m = std::fabs (x);
    if (m == 0)
      return p - buf + put (p, "0");
    char d[24];
    int n, E;
    if (m < ledger::two53 && m == std::trunc (m))
      {
        n = std::to_chars (d, d + sizeof d,
                           static_cast<std::uint64_t> (m)).ptr - d;
        E = n - 1;
      }
    else
      {
        char sci[32];
        n = split (sci, shortest_scientific (sci, m), d, E);
      }
    while (n > 1 && d[n-1] == '0')
      n--;
    return p - buf + layout (p, d, n, E, false, true);
  }

  // True when the gap to the next double below M is narrower than the gap
  // above: M is a power of two above the smallest normal.
  static bool lopsided (double m)
  {
    std::uint64_t bits;
    std::memcpy (&bits, &m, sizeof bits);
    return (bits & 0xfffffffffffffULL) == 0 && (bits >> 52) > 1;
  }

  // The correctly rounded text of M at the fewest digits, from the count of
  // the shortest text S up, that reads back as M; written over S.
  static char * round_back (char *s, char *end, double m)
  {
    const char *e = static_cast<const char *> (std::memchr (s, 'e',
                                                            end - s));
    const int least = e - s > 1 ? e - s - 1 : 1;
    char t[32];
    char *t_end = t;
    for (int k = least; k <= 17; k++)
      {
        t_end = ledger::scientific (t, t + sizeof t, m, k - 1);
        // The shortest digits read back: when they are also the correctly
        // rounded ones, nothing needs reading.
        if (k == least && t_end - t == end - s
            && std::memcmp (t, s, end - s) == 0)
          return end;
        if (reads_back (t, t_end, m))
          break;
      }
    std::memcpy (s, t, t_end - t);
    return s + (t_end - t);
  }

  static std::size_t put (char *buf, const char *s)
  {
    const std::size_t n = std::strlen (s);
    std::memcpy (buf, s, n);
    return n;
  }

  static bool reads_back (const char *s, const char *end, double m)
  {
    return read_double (s, end) == m;
  }

  // The digits D and decimal exponent E of the scientific text S, which
  // reads "d.ddde+XX" or "de-XX"; returns the number of digits.
  static int split (const char *s, const char *end, char *d, int& E)
  {
    int n = 0;
    const char *q = s;
    for (; *q != 'e'; q++)
      if (*q != '.')
        d[n++] = *q;
    const bool negative = (q[1] == '-');
    E = 0;
    for (q += 2; q < end; q++)
      E = 10 * E + (*q - '0');
    if (negative)
      E = -E;
    return n;
  }

  // Lays out the N digits D of a value of decimal exponent E: positional
  // for exponents from -6 to 20, exponent form outside, with "+" before a
  // positive exponent where PLUS says so.
  static std::size_t layout (char *out, const char *d, int n, int E,
                             bool point, bool plus = false)
  {
    char *p = out;
    if (E >= 0 && E <= 20)
      {
        if (n <= E + 1)
          {
            p = copy (p, d, n);
            p = fill (p, '0', E + 1 - n);
            if (point)
              p = copy (p, ".0", 2);
          }
        else
          {
            p = copy (p, d, E + 1);
            *p++ = '.';
            p = copy (p, d + E + 1, n - E - 1);
          }
      }
    else if (E >= -6 && E <= -1)
      {
        p = copy (p, "0.", 2);
        p = fill (p, '0', -E - 1);
        p = copy (p, d, n);
      }
    else
      {
        *p++ = d[0];
        if (n > 1)
          {
            *p++ = '.';
            p = copy (p, d + 1, n - 1);
          }
        *p++ = 'e';
        if (plus && E > 0)
          *p++ = '+';
        p = std::to_chars (p, p + 8, E).ptr;
      }
    return p - out;
  }

  // Short copies, done in place rather than by a library call.
  static char * copy (char *p, const char *s, int n)
  {
    for (int i = 0; i < n; i++)
      p[i] = s[i];
    return p + n;
  }

  static char * fill (char *p, char c, int n)
  {
    for (int i = 0; i < n; i++)
      p[i] = c;
    return p + n;
  }
};

// The digits of one integer value V of any integer class, as a string.
// The 64-bit values are read as integers: the host's plain conversion goes
// through a double and would round those beyond 2^53.
inline std::string
integer_text (const octave_value& v)
{
  char buf[32];
  char *end;
  if (v.is_uint64_type ())
    {
      const unsigned long long x
        = v.is_scalar_type () ? v.uint64_scalar_value ().value ()
        : v.numel () > 0 ? v.uint64_array_value ().xelem (0).value ()
        : v.uint64_value ();
      end = number_text::digits (buf, x);
    }
  else if (v.is_int64_type ())
    {
      const long long x
        = v.is_scalar_type () ? v.int64_scalar_value ().value ()
        : v.numel () > 0 ? v.int64_array_value ().xelem (0).value ()
        : v.int64_value ();
      end = number_text::digits (buf, x);
    }
  else if (v.is_uint32_type () || v.is_uint16_type () || v.is_uint8_type ())
    end = number_text::digits (buf, static_cast<unsigned long long>
                                      (v.uint_value ()));
  else
    end = number_text::digits (buf, static_cast<long long> (v.int_value ()));
  return std::string (buf, end - buf);
}

// The logical value of a logical scalar; the host has none for a sparse one.
inline bool
truth (const octave_value& v)
{
  if (v.issparse () && v.numel () == 1)
    return v.bool_array_value ().xelem (0);
  return v.bool_value ();
}

// The real part of a number, its imaginary part (0 for a real number) in
// IMAG: the caller refuses a value that would lose it.
inline double
real_value (const octave_value& v, double& imag)
{
  if (v.iscomplex ())
    {
      const Complex c = v.complex_value ();
      imag = c.imag ();
      return c.real ();
    }
  imag = 0;
  return v.double_value ();
}

namespace ledger
{
  // The text of an object key K into OUT: text as it is, a logical value
  // as true or false, a number as the text of its value (a double in its
  // shortest digits, without ".0").  Returns the fault for anything else,
  // the imaginary part of a complex key in IMAG.
  inline tree_fault
  key_text (const octave_value& k, std::string& out, double& imag)
  {
    imag = 0;
    if (k.is_string ())
      {
        if (! is_text_row (k))
          return tree_fault::not_a_key;
        const charNDArray c = chars_of (k);
        out.assign (c.data (), c.numel ());
        return tree_fault::none;
      }
    if (k.numel () != 1 || ! (k.isnumeric () || k.islogical ()))
      return tree_fault::not_a_key;
    if (k.islogical ())
      out = truth (k) ? "true" : "false";
    else if (k.isinteger ())
      out = integer_text (k);
    else
      {
        const double x = real_value (k, imag);
        if (imag != 0)
          return tree_fault::not_real;
        out = number_text::double_string (x, false);
      }
    return tree_fault::none;
  }
}

#endif
