// The cell allocation rule: a Cell is made by moving values into storage
// that the Cell then owns.  A Cell of a size would first fill itself with
// values only to have them replaced, so the storage comes raw from the
// Cell's own allocator, which frees it.  That allocator differs between
// builds of the interpreter (plain or polymorphic), so it is taken from the
// type.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_CELLS_H
#define LEDGERKIT_CORE_CELLS_H

#include <octave/oct.h>
#include <octave/Cell.h>

#include <memory>
#include <utility>

namespace ledger
{
  template <typename T, typename A>
  A allocator_of (const Array<T, A>&);
  typedef decltype (allocator_of (std::declval<const Cell&> ()))
    cell_allocator;
  typedef std::allocator_traits<cell_allocator> cell_alloc_traits;

  // A cell of the dimensions DV whose element I is moved from ITEM (I).
  template <typename F>
  Cell
  make_cell (const dim_vector& dv, F item)
  {
    const std::size_t n = dv.numel ();
    cell_allocator alloc;
    octave_value *items = cell_alloc_traits::allocate (alloc, n);
    for (std::size_t i = 0; i < n; i++)
      cell_alloc_traits::construct (alloc, items + i, item (i));
    return Cell (Array<octave_value> (items, dv, alloc));
  }
}

#endif
