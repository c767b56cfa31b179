// convert_fuzz: coverage-guided fuzzing of the converter's walks.
//
// The input bytes build a value that may or may not be a tree: object
// nodes with odd fields, struct arrays, unpaired cells and bad keys,
// complex numbers, character matrices, integer classes, NaN, nested and
// deep cells; then a path of text keys and positions.  Each input must:
//   - raise, if anything, only ledgerkit:tree or ledgerkit:path errors;
//   - convert to ordinary values (to_plain) exactly when the core's check
//     of the tree passes, with the check's message when it does not;
//   - make (to_tree) only trees that the check passes, the same tree again
//     when made from that tree;
//   - on a sound tree, set a value at the path that get then finds, in a
//     tree that is still sound.
//
// Host errors need an interpreter instance; one is made once and never run.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "convert/convert.h"

#include <octave/interpreter.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
  // A broken check prints what broke and aborts, so that the fuzzer keeps
  // the input.
  [[noreturn]] void fault (const char *what, const std::string& detail)
  {
    std::fprintf (stderr, "ledgerkit fuzz: %s%s%s\n", what,
                  detail.empty () ? "" : ": ", detail.c_str ());
    std::abort ();
  }

  // Equal doubles, NaN equal to NaN, and the sign of zero kept.
  bool same_double (double a, double b)
  {
    if (std::isnan (a) || std::isnan (b))
      return std::isnan (a) && std::isnan (b);
    return a == b && std::signbit (a) == std::signbit (b);
  }

  template <typename A>
  bool same_elements (const A& x, const A& y)
  {
    for (octave_idx_type i = 0; i < x.numel (); i++)
      if (x(i) != y(i))
        return false;
    return true;
  }

  const char *const who = "convert_fuzz";

  // Turns input bytes into a value; past the end every byte reads as 0,
  // which builds a double, so every input ends.
  class value_maker
  {
  public:
    const uint8_t *data;
    std::size_t size;
    std::size_t at = 0;
    int budget = 3000;

    value_maker (const uint8_t *d, std::size_t n) : data (d), size (n) { }

    unsigned take () { return at < size ? data[at++] : 0; }

    static octave_value text (const std::string& s)
    {
      return octave_value (s, '\'');
    }

    std::string word ()
    {
      static const char *const words[] = {
        "a", "b", "keys", "values", "0", "1", "", "a/b", "~", "-", "x y"
      };
      return words[take () % (sizeof words / sizeof words[0])];
    }

    double number ()
    {
      static const double special[] = {
        0, -0.0, 1, 2, 3, 0.5, 1e21, 1e-7, 9007199254740992.0, 5e-324,
        1.7976931348623157e308, NAN, INFINITY, -INFINITY, -1, 1.5
      };
      const unsigned how = take ();
      if (how < 128)
        return static_cast<int> (how) - 64;
      if (how < 144)
        {
          uint64_t bits = 0;
          for (int i = 0; i < 8; i++)
            bits = (bits << 8) | take ();
          double x;
          std::memcpy (&x, &bits, sizeof x);
          return x;
        }
      return special[how % (sizeof special / sizeof special[0])];
    }

    // A key of any kind, most of them text.
    octave_value key ()
    {
      switch (take () % 10)
        {
        case 0: return octave_value (number ());
        case 1: return octave_value (take () & 1);
        case 2: return octave_value (octave_int64 (int64_t (take ()) - 128));
        case 3: return octave_value (Complex (number (), take () % 3));
        case 4: return octave_value (Matrix (1, take () % 3, 1.0));
        case 5: return octave_value (charMatrix (2, 1, 'k'), '\'');
        case 6: return octave_value (Cell ());
        default: return text (word ());
        }
    }

    Cell cells (octave_idx_type n, int depth, bool keys)
    {
      Cell c (n, 1);
      for (octave_idx_type i = 0; i < n; i++)
        c(i) = keys ? key () : make (depth + 1);
      return c;
    }

    octave_value node (int depth)
    {
      const unsigned how = take ();
      const octave_idx_type n = how % 4;
      // Mostly paired; sometimes a key or a value short or over.
      const octave_idx_type m = (how & 0x30) == 0x30 ? (n + 1) % 4 : n;
      Cell k = cells (n, depth, true);
      Cell v = cells (m, depth, false);
      if (how & 0x40)
        {
          k = k.reshape (dim_vector (1, n));
          v = v.reshape (dim_vector (1, m));
        }
      return ledger::object_node (ledger::object_fields (), octave_value (k),
                                  octave_value (v));
    }

    // A struct of odd fields: some of keys, values and others, any values.
    octave_value odd_struct (int depth)
    {
      octave_scalar_map m;
      const unsigned how = take ();
      if (how & 1)
        m.assign ("keys", how & 8 ? make (depth + 1)
                                  : octave_value (cells (1, depth, true)));
      if (how & 2)
        m.assign ("values", how & 16 ? make (depth + 1)
                                     : octave_value (cells (1, depth, false)));
      if (how & 4)
        m.assign (word () + "z", make (depth + 1));
      return octave_value (m);
    }

    octave_value struct_array (int depth)
    {
      const unsigned how = take ();
      const octave_idx_type n = how % 3 + (how & 4 ? 0 : 1);
      octave_map m (dim_vector (1, n));
      if (how & 8)
        {
          Cell k (1, n), v (1, n);
          for (octave_idx_type i = 0; i < n; i++)
            {
              k(i) = octave_value (cells (1, depth, true));
              v(i) = octave_value (cells (1, depth, false));
            }
          m.assign ("keys", k);
          m.assign ("values", v);
        }
      else
        {
          Cell a (1, n);
          for (octave_idx_type i = 0; i < n; i++)
            a(i) = make (depth + 1);
          m.assign ("a", a);
        }
      return octave_value (m);
    }

    octave_value make (int depth)
    {
      if (--budget < 0 || depth > 40)
        return octave_value (number ());
      switch (take () % 18)
        {
        case 0: return ledger::null_value ();
        case 1: return octave_value (number ());
        case 2: return text (word ());
        case 3: case 4: return node (depth);
        case 5:
          {
            const unsigned how = take ();
            Cell c = cells (how % 4, depth, false);
            if (how & 4)
              c = c.reshape (dim_vector (1, c.numel ()));
            return octave_value (c);
          }
        case 6: return odd_struct (depth);
        case 7: return struct_array (depth);
        case 8:
          {
            ComplexNDArray z (dim_vector (1, take () % 3 + 1));
            for (octave_idx_type i = 0; i < z.numel (); i++)
              z(i) = Complex (number (), take () % 4 == 0 ? number () : 0);
            return octave_value (z);
          }
        case 9:
          return octave_value (charMatrix (take () % 3, take () % 3, 'c'),
                               '\'');
        case 10:
          {
            int32NDArray a (dim_vector (take () % 3, take () % 3));
            return octave_value (a);
          }
        case 11:
          return octave_value (octave_uint64 (UINT64_MAX - take ()));
        case 12: return octave_value (bool (take () & 1));
        case 13:
          {
            Matrix x (take () % 3 + 1, take () % 3 + 1);
            for (octave_idx_type i = 0; i < x.numel (); i++)
              x(i) = number ();
            return octave_value (x);
          }
        case 14:
          {
            // A long chain, to walk deep.
            octave_value v (number ());
            const unsigned n = take () * 4;
            for (unsigned i = 0; i < n; i++)
              v = octave_value (Cell (v));
            return v;
          }
        case 15: return octave_value (FloatComplex (1, take () % 2));
        case 16: return octave_value (boolNDArray (dim_vector (2, 2), true));
        default: return node (depth);
        }
    }

    // A path: a cell of steps or a JSON Pointer.
    octave_value path ()
    {
      const unsigned n = take () % 5;
      if (take () & 1)
        {
          std::string p;
          for (unsigned i = 0; i < n; i++)
            p += "/" + word ();
          return text (p);
        }
      Cell c (1, n);
      for (unsigned i = 0; i < n; i++)
        {
          const unsigned how = take ();
          if (how & 1)
            c(i) = text (word ());
          else if (how & 2)
            c(i) = octave_value (how % 4 == 2 ? 9007199254740992.0
                                              : double (how % 5));
          else
            c(i) = octave_value (octave_uint64 (how > 128 ? UINT64_MAX : 1));
        }
      return octave_value (c);
    }
  };

  octave::interpreter *host = nullptr;

  // A and B are the same value: classes, shapes, field names and elements,
  // NaN equal to NaN.
  bool same_value (const octave_value& a, const octave_value& b)
  {
    if (a.class_name () != b.class_name () || a.dims () != b.dims ())
      return false;
    if (a.iscell ())
      {
        const Cell ca = a.cell_value (), cb = b.cell_value ();
        for (octave_idx_type i = 0; i < ca.numel (); i++)
          if (! same_value (ca(i), cb(i)))
            return false;
        return true;
      }
    if (a.isstruct ())
      {
        const octave_map ma = a.map_value (), mb = b.map_value ();
        const string_vector fa = ma.fieldnames (), fb = mb.fieldnames ();
        if (fa.numel () != fb.numel ())
          return false;
        for (octave_idx_type f = 0; f < fa.numel (); f++)
          {
            if (fa(f) != fb(f))
              return false;
            const Cell ca = ma.contents (f), cb = mb.contents (f);
            for (octave_idx_type i = 0; i < ca.numel (); i++)
              if (! same_value (ca(i), cb(i)))
                return false;
          }
        return true;
      }
    if (a.is_string ())
      return same_elements (a.char_array_value (), b.char_array_value ());
    if (a.is_int64_type () || a.is_uint64_type ())
      return same_elements (a.int64_array_value (), b.int64_array_value ())
             && same_elements (a.uint64_array_value (),
                               b.uint64_array_value ());
    if (a.iscomplex ())
      return false;
    if (a.isnumeric () || a.islogical ())
      {
        const NDArray x = a.array_value (), y = b.array_value ();
        for (octave_idx_type i = 0; i < x.numel (); i++)
          if (! same_double (x(i), y(i)))
            return false;
        return true;
      }
    return false;
  }

  struct outcome
  {
    bool ok = true;
    std::string id;
    std::string message;
  };

  template <typename F>
  outcome attempt (F f)
  {
    outcome o;
    try
      {
        f ();
      }
    catch (const octave::execution_exception& e)
      {
        o.ok = false;
        o.id = e.identifier ();
        o.message = e.message ();
        if (o.id != "ledgerkit:tree" && o.id != "ledgerkit:path")
          fault ("an error of another kind", o.id + ": " + o.message);
        if (o.message.compare (0, std::strlen (who), who) != 0)
          fault ("an error not in the caller's name", o.message);
      }
    return o;
  }
}

extern "C" int
LLVMFuzzerInitialize (int *, char ***)
{
  // Kept for the whole run: the interpreter is never started or torn down.
  host = new octave::interpreter ();
  return 0;
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, std::size_t size)
{
  value_maker maker (data, size);
  const octave_value v = maker.make (0);
  const octave_value path = maker.path ();
  const octave_value x = maker.make (0);

  const outcome checked = attempt ([&] { ledger::check_tree (v, who); });
  if (! checked.ok && checked.id != "ledgerkit:tree")
    fault ("the check raised a path error", checked.message);

  octave_value plain;
  const outcome plained = attempt ([&]
    {
      ledger::plain_maker p (who);
      plain = p.make (v);
    });
  if (plained.ok != checked.ok || plained.message != checked.message)
    fault ("ledgerplain and the check disagree",
           checked.message + " / " + plained.message);

  octave_value made;
  const outcome tree = attempt ([&] { made = ledger::to_tree (v, who); });
  if (checked.ok && ! tree.ok)
    fault ("a sound tree that ledgertree refuses", tree.message);
  if (tree.ok)
    {
      const outcome again = attempt ([&] { ledger::check_tree (made, who); });
      if (! again.ok)
        fault ("ledgertree made a tree the check refuses", again.message);
      octave_value twice;
      attempt ([&] { twice = ledger::to_tree (made, who); });
      if (! same_value (made, twice))
        fault ("ledgertree of its own tree changed it", "");
    }

  bool found = false;
  ledger::path_walk getter (who);
  const outcome got = attempt ([&]
    {
      getter.read_path (path);
      getter.get (v, true, found);
    });
  octave_value set;
  ledger::path_walk setter (who);
  const outcome put = attempt ([&]
    {
      setter.read_path (path);
      set = setter.set (v, x);
    });
  bool appends = false;
  for (const auto& s : setter.steps)
    appends = appends || s.end;
  if (put.ok && checked.ok && ! appends)
    {
      const outcome sound = attempt ([&] { ledger::check_tree (set, who); });
      if (! sound.ok)
        fault ("ledgerset made a tree the check refuses", sound.message);
      bool back = false;
      const outcome reread = attempt ([&]
        {
          getter.read_path (path);
          getter.get (set, false, back);
        });
      if (! reread.ok || ! back)
        fault ("ledgerget does not find what ledgerset set", reread.message);
    }
  return 0;
}
