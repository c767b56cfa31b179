// Ordinary values: how arrays of arrays are joined into one array with a
// first dimension more, for ledgerplain's converter and the plain reader
// alike.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_PLAIN_H
#define LEDGERKIT_CORE_PLAIN_H

#include <octave/oct.h>
#include <octave/oct-map.h>

#include <vector>

#include "tree.h"

namespace ledger
{
  // A class whose values no double holds exactly.
  inline bool
  wide (builtin_type_t t)
  {
    return t == btyp_int64 || t == btyp_uint64;
  }

  inline bool
  same_strings (const string_vector& a, const string_vector& b)
  {
    if (a.numel () != b.numel ())
      return false;
    for (octave_idx_type i = 0; i < a.numel (); i++)
      if (a(i) != b(i))
        return false;
    return true;
  }

  // Element K of part I goes to I + N * K.
  template <typename A, typename F>
  octave_value
  join_parts (const std::vector<octave_value>& stack, std::size_t base,
              const dim_vector& rd, F value_of)
  {
    const octave_idx_type n = rd(0);
    A out (rd);
    for (octave_idx_type i = 0; i < n; i++)
      {
        const A part = value_of (stack[base + i]);
        const octave_idx_type m = part.numel ();
        for (octave_idx_type k = 0; k < m; k++)
          out.xelem (i + n * k) = part.xelem (k);
      }
    return octave_value (out);
  }

  inline octave_value
  join_structs (const std::vector<octave_value>& stack, std::size_t base,
                const dim_vector& rd, const string_vector& fnames)
  {
    const octave_idx_type n = rd(0);
    octave_map out (rd, octave_fields (fnames));
    for (octave_idx_type j = 0; j < fnames.numel (); j++)
      {
        Cell col (rd);
        for (octave_idx_type i = 0; i < n; i++)
          {
            const Cell part = stack[base + i].map_value ().contents (j);
            for (octave_idx_type k = 0; k < part.numel (); k++)
              col.xelem (i + n * k) = part.xelem (k);
          }
        out.contents (j) = col;
      }
    return octave_value (out);
  }

  // The ordinary values of the N arrays of an array, on STACK from BASE, as
  // one value; the slice is released.  Arrays of one size and kind
  // (numbers, logical arrays or structs with the same fields) make one
  // array with a first dimension more; anything else a cell column.
  inline octave_value
  join_arrays (std::vector<octave_value>& stack, std::size_t base,
               octave_idx_type n)
  {
    const octave_value& first = stack[base];
    const dim_vector dv = first.dims ();
    bool join_them = ! (dv.ndims () == 2 && dv(0) == 0 && dv(1) == 0);
    const bool logical = first.is_bool_matrix ();
    const bool structs = first.isstruct ();
    const builtin_type_t type = first.builtin_type ();
    const string_vector fnames = structs ? first.map_keys ()
                                         : string_vector ();
    for (octave_idx_type i = 0; join_them && i < n; i++)
      {
        const octave_value& s = stack[base + i];
        join_them = ! s.iscell () && s.dims () == dv
                    && s.is_bool_matrix () == logical
                    && s.isstruct () == structs
                    && (! structs || same_strings (s.map_keys (), fnames))
                    && (structs || logical || s.builtin_type () == type
                        || ! (wide (type) || wide (s.builtin_type ())));
      }
    if (! join_them)
      return octave_value (take_column (stack, base));
    dim_vector rd;
    if (dv.ndims () == 2 && dv(1) == 1)
      rd = dim_vector (n, dv(0));
    else
      {
        rd.resize (dv.ndims () + 1);
        rd(0) = n;
        for (int j = 0; j < dv.ndims (); j++)
          rd(j+1) = dv(j);
      }
    octave_value out;
    if (structs)
      out = join_structs (stack, base, rd, fnames);
    else if (logical)
      out = join_parts<boolNDArray> (stack, base, rd, [] (const octave_value& v)
                                     { return v.bool_array_value (); });
    else if (type == btyp_int64)
      out = join_parts<int64NDArray> (stack, base, rd, [] (const octave_value& v)
                                      { return v.int64_array_value (); });
    else if (type == btyp_uint64)
      out = join_parts<uint64NDArray> (stack, base, rd, [] (const octave_value& v)
                                       { return v.uint64_array_value (); });
    else
      out = join_parts<NDArray> (stack, base, rd, [] (const octave_value& v)
                                 { return v.array_value (); });
    stack.resize (base);
    return out;
  }
}

#endif
