// Checks on value trees shared by the fuzz harnesses: the shape of the
// reader's kinds and exact equality of two trees.  A broken check prints
// what broke and aborts, so that the fuzzer keeps the input.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_TREE_CHECK_H
#define LEDGERKIT_TREE_CHECK_H

#include <octave/oct.h>
#include <octave/oct-map.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tree_check
{
  [[noreturn]] inline void fault (const char *what, const std::string& detail)
  {
    std::fprintf (stderr, "ledgerkit fuzz: %s%s%s\n", what,
                  detail.empty () ? "" : ": ", detail.c_str ());
    std::abort ();
  }

  inline bool is_dims (const octave_value& v, octave_idx_type r,
                       octave_idx_type c)
  {
    const dim_vector dv = v.dims ();
    return dv.ndims () == 2 && dv(0) == r && dv(1) == c;
  }

  inline bool is_column_cell (const octave_value& v)
  {
    return v.iscell () && v.ndims () == 2 && v.columns () == 1;
  }

  inline bool is_text (const octave_value& v)
  {
    return v.is_sq_string ()
           && (v.isempty () ? is_dims (v, 0, 0) : v.rows () == 1)
           && v.ndims () == 2;
  }

  inline bool is_null (const octave_value& v)
  {
    return v.isstruct () && is_dims (v, 0, 0) && v.map_value ().nfields () == 0;
  }

  // The fields keys and values, in that order, of a 1-by-1 structure.
  inline bool is_object (const octave_value& v)
  {
    if (! v.isstruct () || ! is_dims (v, 1, 1))
      return false;
    const octave_map m = v.map_value ();
    const string_vector names = m.fieldnames ();
    return names.numel () == 2 && names(0) == "keys" && names(1) == "values";
  }

  // V is one of the kinds the reader makes, at DEPTH at most the
  // reader's limit.
  inline void reader_kinds (const octave_value& v, int depth)
  {
    if (depth > ledger::default_depth)
      fault ("a value deeper than the nesting limit", "");
    if (v.isstruct ())
      {
        if (is_null (v))
          return;
        if (! is_object (v))
          fault ("a structure that is neither an object nor null", "");
        const octave_scalar_map m = v.scalar_map_value ();
        const octave_value k = m.getfield ("keys");
        const octave_value x = m.getfield ("values");
        if (! is_column_cell (k) || ! is_column_cell (x)
            || k.rows () != x.rows ())
          fault ("an object whose keys and values are not two equal columns",
                 "");
        const Cell kc = k.cell_value ();
        const Cell xc = x.cell_value ();
        for (octave_idx_type i = 0; i < kc.numel (); i++)
          {
            if (! is_text (kc(i)))
              fault ("an object key that is not a character row", "");
            reader_kinds (xc(i), depth + 1);
          }
      }
    else if (v.iscell ())
      {
        if (! is_column_cell (v))
          fault ("an array that is not a column cell", "");
        const Cell c = v.cell_value ();
        for (octave_idx_type i = 0; i < c.numel (); i++)
          reader_kinds (c(i), depth + 1);
      }
    else if (v.is_string ())
      {
        if (! is_text (v))
          fault ("text that is not a single-quoted character row", "");
      }
    else if (! is_dims (v, 1, 1))
      fault ("a number or literal that is not 1-by-1", "");
    else if (v.is_int64_type ())
      {
        const int64_t least = -static_cast<int64_t> (ledger::two53_int);
        if (! (v.int64_scalar_value ().value () < least))
          fault ("an int64 within 2^53", "");
      }
    else if (v.is_uint64_type ())
      {
        if (! (v.uint64_scalar_value ().value () > ledger::two53_int))
          fault ("a uint64 within 2^53", "");
      }
    else if (! v.is_bool_scalar ()
             && ! (v.is_double_type () && v.is_real_scalar ()))
      fault ("a value of a class the reader does not make",
             v.class_name ());
  }

  // Equal doubles, NaN equal to NaN, and the sign of zero kept.
  inline bool same_double (double a, double b)
  {
    if (std::isnan (a) || std::isnan (b))
      return std::isnan (a) && std::isnan (b);
    return a == b && std::signbit (a) == std::signbit (b);
  }

  // A and B are equal trees of reader kinds: same classes, shapes, field
  // order, bytes and values.
  inline bool same (const octave_value& a, const octave_value& b)
  {
    if (a.class_name () != b.class_name () || a.dims () != b.dims ()
        || a.is_sq_string () != b.is_sq_string ())
      return false;
    if (a.isstruct ())
      {
        const octave_map ma = a.map_value ();
        const octave_map mb = b.map_value ();
        const string_vector fa = ma.fieldnames ();
        const string_vector fb = mb.fieldnames ();
        if (fa.numel () != fb.numel ())
          return false;
        for (octave_idx_type f = 0; f < fa.numel (); f++)
          {
            if (fa(f) != fb(f))
              return false;
            const Cell ca = ma.contents (f);
            const Cell cb = mb.contents (f);
            for (octave_idx_type i = 0; i < ca.numel (); i++)
              if (! same (ca(i), cb(i)))
                return false;
          }
        return true;
      }
    if (a.iscell ())
      {
        const Cell ca = a.cell_value ();
        const Cell cb = b.cell_value ();
        for (octave_idx_type i = 0; i < ca.numel (); i++)
          if (! same (ca(i), cb(i)))
            return false;
        return true;
      }
    if (a.is_string ())
      {
        const charNDArray ca = a.char_array_value ();
        const charNDArray cb = b.char_array_value ();
        return std::memcmp (ca.data (), cb.data (), ca.numel ()) == 0;
      }
    if (a.is_int64_type ())
      return a.int64_scalar_value () == b.int64_scalar_value ();
    if (a.is_uint64_type ())
      return a.uint64_scalar_value () == b.uint64_scalar_value ();
    if (a.islogical ())
      return a.bool_value () == b.bool_value ();
    if (a.is_double_type () && a.is_real_scalar () && b.is_real_scalar ())
      return same_double (a.double_value (), b.double_value ());
    fault ("a value of a class the reader does not make", a.class_name ());
  }
}

#endif
