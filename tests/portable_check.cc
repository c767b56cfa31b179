// The number text of the feature-tested fallbacks (strtod and snprintf in
// the C locale, for a C++ library without std::from_chars and std::to_chars
// for doubles) against the library's own, on every power of two and its
// neighbours and on a million random doubles.  Prints the first
// differences and "N differ"; exits non-zero when any does.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/portable.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

int
main ()
{
  long differ = 0;
  auto check = [&] (double x)
    {
      if (! std::isfinite (x))
        return;
      char a[64], b[64];
      const std::string ours (a, ledger::shortest_scientific_fallback
                                   (a, a + sizeof a, x));
      const std::string lib (b, std::to_chars (b, b + sizeof b, x,
                                               std::chars_format::scientific)
                                .ptr);
      for (int p = 0; p < 17; p += 5)
        {
          const std::string at (a, ledger::scientific_fallback
                                     (a, a + sizeof a, x, p));
          const std::string want (b, std::to_chars (b, b + sizeof b, x,
                                                    std::chars_format::scientific,
                                                    p).ptr);
          if (at != want && differ++ < 5)
            std::printf ("%.17g at %d: %s, not %s\n", x, p, at.c_str (),
                         want.c_str ());
        }
      const double back = ledger::to_double (ours.data (),
                                             ours.data () + ours.size ());
      if ((ours != lib || back != x) && differ++ < 5)
        std::printf ("%.17g: %s, not %s\n", x, ours.c_str (), lib.c_str ());
    };
  for (int e = -1074; e <= 1023; e++)
    {
      const double x = std::ldexp (1.0, e);
      check (x);
      check (std::nextafter (x, 0.0));
      check (std::nextafter (x, HUGE_VAL));
    }
  std::mt19937_64 g (7);
  for (long i = 0; i < 1000000; i++)
    {
      const uint64_t u = g ();
      double x;
      std::memcpy (&x, &u, sizeof x);
      check (x);
      check (static_cast<double> (g () % 1000000) / 100);
    }
  std::printf ("%ld differ\n", differ);
  return differ != 0;
}
