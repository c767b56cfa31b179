// writer_fuzz: coverage-guided fuzzing of the writer's json_writer.
//
// The input bytes build a tree of every kind the writer accepts: objects
// with text, number and logical keys, bad keys and bad key or value cells,
// numeric, logical and integer arrays, text, cells of odd shapes and deep
// nesting.  Byte 0 holds the options (bit 0 pretty, bit 1 preserve).  The
// tree is rendered to memory in both layouts and must then:
//   - render in both layouts or in neither, the pretty text being the
//     compact one with blanks and line feeds between the tokens;
//   - raise a host error only when it holds something that cannot be
//     written (those are built on purpose and marked so);
//   - read back through json_parser as what JSON can carry of it: exactly
//     the same tree when it is made only of the reader's kinds, and "nesting
//     too deep" when it is deeper than the reader's limit.
//
// Host errors need an interpreter instance; one is made once and never run.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "reader/parser.h"
#include "writer/writer.h"

#include "tree_check.h"

#include <octave/interpreter.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
  using tree_check::fault;

  // What the bytes built: the tree and what can be expected of it.
  struct built
  {
    // Only the reader's kinds: it must read back exactly.
    bool reader_only = true;
    // Something that may not render (a bad key, a bad field, ...).
    bool odd = false;
    // A NaN or an infinity somewhere.
    bool nonfinite = false;
    // The greatest depth at which a value is written.
    int depth = 0;
  };

  // Turns input bytes into a tree; past the end every byte reads as 0,
  // which builds the null node, so every input ends.
  class tree_maker
  {
  public:
    const uint8_t *data;
    std::size_t size;
    std::size_t at = 0;
    int budget = 4000;
    built info;

    tree_maker (const uint8_t *d, std::size_t n) : data (d), size (n) { }

    unsigned take () { return at < size ? data[at++] : 0; }

    uint64_t take_wide (int bytes)
    {
      uint64_t v = 0;
      for (int i = 0; i < bytes; i++)
        v = (v << 8) | take ();
      return v;
    }

    void reached (int depth)
    {
      if (depth > info.depth)
        info.depth = depth;
    }

    std::string take_bytes ()
    {
      const unsigned n = take () % 24;
      std::string s;
      for (unsigned i = 0; i < n && at < size; i++)
        s.push_back (static_cast<char> (take ()));
      return s;
    }

    static octave_value text (const std::string& s)
    {
      return octave_value (s, '\'');
    }

    double take_double ()
    {
      const unsigned how = take ();
      double x;
      if (how < 128)
        x = static_cast<int> (how) - 64;
      else if (how < 160)
        {
          const uint64_t bits = take_wide (8);
          std::memcpy (&x, &bits, sizeof x);
        }
      else
        {
          static const double special[] = {
            0.5, -0.0, 0.1, 1e21, 1e-7, double (ledger::two53_int), 1e300,
            4.9406564584124654e-324, 2.2250738585072014e-308,
            1.7976931348623157e308, 123456.789, -2.5e-5, 1e20, 1e-6,
            0.30000000000000004, 5e-324, NAN, INFINITY, -INFINITY,
          };
          x = special[how % (sizeof special / sizeof special[0])];
        }
      if (! std::isfinite (x))
        info.nonfinite = true;
      return x;
    }

    // One integer scalar of any class; only int64 and uint64 beyond 2^53
    // are kinds the reader makes.
    octave_value integer_scalar ()
    {
      const unsigned cls = take () % 8;
      const uint64_t bits = take_wide (8);
      switch (cls)
        {
        case 0: info.reader_only = false; return octave_int8 (static_cast<int8_t> (bits));
        case 1: info.reader_only = false; return octave_uint8 (static_cast<uint8_t> (bits));
        case 2: info.reader_only = false; return octave_int16 (static_cast<int16_t> (bits));
        case 3: info.reader_only = false; return octave_uint16 (static_cast<uint16_t> (bits));
        case 4: info.reader_only = false; return octave_int32 (static_cast<int32_t> (bits));
        case 5: info.reader_only = false; return octave_uint32 (static_cast<uint32_t> (bits));
        case 6:
          {
            const int64_t x = static_cast<int64_t> (bits);
            if (! (x < -static_cast<int64_t> (ledger::two53_int)))
              info.reader_only = false;
            return octave_int64 (x);
          }
        default:
          if (! (bits > ledger::two53_int))
            info.reader_only = false;
          return octave_uint64 (bits);
        }
    }

    template <typename A>
    octave_value int_array (const dim_vector& dv)
    {
      A a (dv);
      for (octave_idx_type i = 0; i < a.numel (); i++)
        a(i) = static_cast<typename A::element_type::val_type> (take_wide (8));
      return a;
    }

    // A value of other than one element, or one of another class: never
    // a reader kind.
    octave_value number_array (int depth)
    {
      info.reader_only = false;
      const unsigned kind = take () % 16;
      const unsigned shape = take ();
      dim_vector dv;
      switch (shape % 6)
        {
        case 0: dv = dim_vector (1, shape / 6 % 9); break;
        case 1: dv = dim_vector (shape / 6 % 9, 1); break;
        case 2: dv = dim_vector (shape / 6 % 4, shape / 24 % 4); break;
        case 3: dv = dim_vector (2, 2, shape / 6 % 3); break;
        case 4: dv = dim_vector (0, shape / 6 % 4); break;
        default: dv = dim_vector (1, 1); break;
        }
      budget -= dv.numel ();
      if (dv.numel () != 1 && dv.numel () > 0)
        reached (depth + 1);
      switch (kind)
        {
        case 0: case 1:
          {
            NDArray a (dv);
            for (octave_idx_type i = 0; i < a.numel (); i++)
              a(i) = take_double ();
            return a;
          }
        case 2:
          {
            FloatNDArray a (dv);
            for (octave_idx_type i = 0; i < a.numel (); i++)
              a(i) = static_cast<float> (take_double ());
            return a;
          }
        case 3:
          {
            boolNDArray a (dv);
            for (octave_idx_type i = 0; i < a.numel (); i++)
              a(i) = take () & 1;
            return a;
          }
        case 4: return int_array<int8NDArray> (dv);
        case 5: return int_array<uint8NDArray> (dv);
        case 6: return int_array<int16NDArray> (dv);
        case 7: return int_array<uint16NDArray> (dv);
        case 8: return int_array<int32NDArray> (dv);
        case 9: return int_array<uint32NDArray> (dv);
        case 10: return int_array<int64NDArray> (dv);
        case 11: return int_array<uint64NDArray> (dv);
        case 12:
          {
            // Complex: a non-zero imaginary part cannot be written.
            ComplexNDArray a (dv);
            for (octave_idx_type i = 0; i < a.numel (); i++)
              {
                const double im = (take () & 3) == 0 ? take_double () : 0.0;
                if (im != 0)
                  info.odd = true;
                a(i) = Complex (take_double (), im);
              }
            return a;
          }
        case 13:
          {
            const octave_idx_type r = dv.ndims () == 2 ? dv(0) : 2;
            const octave_idx_type c = dv.ndims () == 2 ? dv(1) : 2;
            if (dv.ndims () != 2)
              reached (depth + 1);
            Matrix full (r, c, 0.0);
            for (octave_idx_type i = 0; i < r && i < c; i++)
              full(i, i) = take_double ();
            return SparseMatrix (full);
          }
        case 14:
          {
            const octave_idx_type r = dv.ndims () == 2 ? dv(0) : 2;
            const octave_idx_type c = dv.ndims () == 2 ? dv(1) : 2;
            if (dv.ndims () != 2)
              reached (depth + 1);
            boolMatrix full (r, c, false);
            for (octave_idx_type i = 0; i < r && i < c; i++)
              full(i, i) = take () & 1;
            return SparseBoolMatrix (full);
          }
        default:
          // A range, written like the matrix it stands for.
          {
            const double base = static_cast<int> (take ()) - 128;
            const double step = static_cast<int> (take () % 7) - 3;
            const double n = dv.numel ();
            if (n != 1 && n > 0 && step != 0)
              reached (depth + 1);
            if (step == 0)
              return octave_value (base);
            return ledger::range_of (base, step, n);
          }
        }
    }

    // An object key: mostly text, sometimes a number or logical, and now
    // and then something no key can be.
    octave_value key ()
    {
      const unsigned kind = take () % 16;
      if (kind < 10)
        return text (take_bytes ());
      info.reader_only = false;
      switch (kind)
        {
        case 10: return octave_value (take_double ());
        case 11: return octave_value (static_cast<bool> (take () & 1));
        case 12: return integer_scalar ();
        case 13: return octave_value (take_bytes (), '"');
        case 14:
          {
            // A complex key is written when its imaginary part is zero.
            const double im = take () & 1 ? 1.0 : 0.0;
            if (im != 0)
              info.odd = true;
            return octave_value (Complex (take_double (), im));
          }
        default:
          info.odd = true;
          switch (take () % 5)
            {
            case 0: return Cell (dim_vector (1, 1));
            case 1: return octave_value (octave_map (dim_vector (0, 0)));
            case 2: return Matrix (1, 2, 3.0);
            case 3: return Matrix ();
            default:
              {
                charMatrix m (2, 2, 'k');
                return octave_value (m, '\'');
              }
            }
        }
    }

    octave_value object (int depth)
    {
      const unsigned n = take () % 6;
      const unsigned form = take () % 16;
      Cell keys (dim_vector (n, 1));
      Cell values (dim_vector (n, 1));
      for (unsigned i = 0; i < n; i++)
        {
          keys(i) = key ();
          values(i) = make (depth + 1);
        }
      if (n > 0)
        reached (depth + 1);
      if (form < 10)
        {
          octave_scalar_map m;
          m.setfield ("keys", keys);
          m.setfield ("values", values);
          return m;
        }
      info.reader_only = false;
      switch (form)
        {
        case 10:
          {
            // Fields in the other order, and one more: refused, as the
            // extra field would be lost.
            info.odd = true;
            octave_scalar_map m;
            m.setfield ("values", values);
            m.setfield ("extra", unwritten (depth + 1));
            m.setfield ("keys", keys);
            return m;
          }
        case 11:
          {
            // A row of keys, a longer value cell: refused, as the extra
            // values have no key to be written under.
            info.odd = true;
            octave_scalar_map m;
            Cell more (dim_vector (1, n + 1));
            for (unsigned i = 0; i < n; i++)
              more(i) = values(i);
            more(n) = unwritten (depth + 1);
            m.setfield ("keys", keys.reshape (dim_vector (1, n)));
            m.setfield ("values", more);
            return m;
          }
        case 12:
          {
            // A structure array: refused, as its elements after the first
            // would be lost.
            info.odd = true;
            octave_map a (dim_vector (1, 2));
            Cell k (dim_vector (1, 2)), v (dim_vector (1, 2));
            k(0) = keys;
            v(0) = values;
            k(1) = unwritten (depth + 1);
            v(1) = unwritten (depth + 1);
            a.setfield ("keys", k);
            a.setfield ("values", v);
            return a;
          }
        default:
          {
            info.odd = true;
            octave_scalar_map m;
            switch (form)
              {
              case 13:
                // Fewer values than keys (one key at least).
                keys.resize (dim_vector (n + 1, 1), octave_value ("k", '\''));
                m.setfield ("keys", keys);
                m.setfield ("values", values);
                return m;
              case 14:
                // A field that is not a cell.
                if (take () & 1)
                  {
                    m.setfield ("keys", octave_value ("k", '\''));
                    m.setfield ("values", values);
                  }
                else
                  {
                    m.setfield ("keys", keys);
                    m.setfield ("values", octave_value (1.0));
                  }
                return m;
              default:
                {
                  // Fields without elements, or a missing field.
                  if (take () & 1)
                    {
                      octave_map a (dim_vector (0, 0));
                      a.setfield ("keys", Cell (dim_vector (0, 0)));
                      a.setfield ("values", Cell (dim_vector (0, 0)));
                      return a;
                    }
                  m.setfield ("keys", keys);
                  return m;
                }
              }
          }
        }
    }

    octave_value array (int depth)
    {
      const unsigned n = take () % 8;
      const unsigned shape = take () % 8;
      dim_vector dv (n, 1);
      if (shape >= 4)
        {
          info.reader_only = false;
          switch (shape)
            {
            case 4: dv = dim_vector (1, n); break;
            case 5: dv = dim_vector (n / 2, 2); break;
            case 6: dv = dim_vector (0, n); break;
            default: dv = dim_vector (1, n / 2, 2); break;
            }
        }
      Cell c (dv);
      for (octave_idx_type i = 0; i < c.numel (); i++)
        c(i) = make (depth + 1);
      if (c.numel () > 0)
        reached (depth + 1);
      return c;
    }

    // A chain of one-element containers deeper than the reader reads; not
    // much deeper, since the pretty text grows with the square of the depth.
    octave_value deep (int depth)
    {
      const unsigned levels = 1 + (take_wide (2) % 200);
      const bool objects = take () & 1;
      octave_value v = make (depth + levels);
      for (unsigned i = 0; i < levels; i++)
        {
          if (objects)
            {
              octave_scalar_map m;
              m.setfield ("keys", Cell (octave_value ("k", '\'')));
              m.setfield ("values", Cell (v));
              v = m;
            }
          else
            v = Cell (v);
        }
      budget -= levels;
      reached (depth + levels);
      return v;
    }

    // A part of the tree that the writer skips: its depth does not count.
    octave_value unwritten (int depth)
    {
      const int before = info.depth;
      octave_value v = make (depth);
      info.depth = before;
      return v;
    }

    octave_value make (int depth)
    {
      reached (depth);
      // Depth comes from the chains; containers nested byte by byte stop
      // early, since the pretty text grows with the square of the depth.
      if (--budget < 0 || depth > 96)
        return octave_value (octave_map (dim_vector (0, 0)));
      const unsigned op = take () % 16;
      switch (op)
        {
        case 0:
          return octave_value (octave_map (dim_vector (0, 0)));
        case 1:
          {
            // Fieldless structures of other sizes are null too.
            info.reader_only = false;
            const unsigned r = take () % 4;
            return octave_value (octave_map (dim_vector (r, r == 1 ? 1 : 3)));
          }
        case 2: case 3:
          return object (depth);
        case 4: case 5:
          return array (depth);
        case 6:
          return text (take_bytes ());
        case 7:
          {
            // Text of other forms: double-quoted, empty of another shape,
            // or several rows, which cannot be one text.
            info.reader_only = false;
            switch (take () % 4)
              {
              case 0: return octave_value (take_bytes (), '"');
              case 1: return octave_value (charNDArray (dim_vector (1, 0)), '\'');
              case 2: return octave_value (charNDArray (dim_vector (0, 3)), '\'');
              default:
                {
                  info.odd = true;
                  charMatrix m (2, 3, 'x');
                  m(1, 2) = static_cast<char> (take ());
                  return octave_value (m, '\'');
                }
              }
          }
        case 8: case 9:
          return octave_value (take_double ());
        case 10:
          return octave_value (static_cast<bool> (take () & 1));
        case 11:
          return integer_scalar ();
        case 12:
          info.reader_only = false;
          return octave_value (static_cast<float> (take_double ()));
        case 13: case 14:
          return number_array (depth);
        default:
          return deep (depth);
        }
    }
  };

  octave::interpreter *host = nullptr;
  // LEDGER_FUZZ_SHOW set: print what each input renders, to read a seed
  // or a reproducer.
  bool show = false;

  // Renders V; false when the host raised an error.
  bool render (const octave_value& v, const ledger::settings& s,
               std::string& text, std::string& why)
  {
    try
      {
        json_writer w (s, "__ledgeremit__");
        w.value (v, 0);
        text.assign (w.output.size () ? w.output.data () : "",
                     w.output.size ());
        return true;
      }
    catch (const octave::execution_exception& e)
      {
        why = e.message ();
        return false;
      }
  }

  bool render (const octave_value& v, bool pretty, bool preserve,
               std::string& text, std::string& why)
  {
    ledger::settings s;
    s.pretty = pretty;
    s.preserve = preserve;
    return render (v, s, text, why);
  }

  // TEXT without the blanks and line feeds that stand between tokens.
  std::string squeeze (const std::string& text)
  {
    std::string out;
    bool in_text = false;
    for (std::size_t i = 0; i < text.size (); i++)
      {
        const char c = text[i];
        if (in_text)
          {
            out += c;
            if (c == '\\' && i + 1 < text.size ())
              out += text[++i];
            else if (c == '"')
              in_text = false;
            continue;
          }
        if (c == ' ' || c == '\n')
          continue;
        if (c == '"')
          in_text = true;
        out += c;
      }
    return out;
  }

  // Each line of the pretty text starts with four spaces per open
  // container, one level less on a closing bracket's line; no line ends
  // in a blank.
  void check_layout (const std::string& text)
  {
    int depth = 0;
    bool in_text = false;
    for (std::size_t i = 0; i < text.size (); i++)
      {
        const char c = text[i];
        if (in_text)
          {
            if (c == '\\')
              i++;
            else if (c == '"')
              in_text = false;
            continue;
          }
        switch (c)
          {
          case '"': in_text = true; break;
          case '[': case '{': depth++; break;
          case ']': case '}': depth--; break;
          case '\n':
            {
              if (i > 0 && text[i-1] == ' ')
                fault ("a pretty line ends in a blank", text);
              std::size_t spaces = 0;
              while (i + 1 + spaces < text.size () && text[i+1+spaces] == ' ')
                spaces++;
              const std::size_t at = i + 1 + spaces;
              const bool closing = at < text.size ()
                                   && (text[at] == ']' || text[at] == '}');
              if (static_cast<long> (spaces)
                  != static_cast<long> (ledger::settings ().indent)
                     * (depth - closing))
                fault ("a pretty line with the wrong indentation", text);
            }
            break;
          default: break;
          }
      }
  }

  bool is_text_key (const octave_value& v)
  {
    return tree_check::is_text (v);
  }

  std::string bytes_of (const octave_value& v)
  {
    const charNDArray c = v.char_array_value ();
    return std::string (c.data (), c.numel ());
  }

  // The element at linear index I, as the host's indexing gives it.
  octave_value element (const octave_value& v, octave_idx_type i)
  {
    octave_value whole = v;
    return ledger::index_op (whole, octave_value_list (octave_value (i + 1)));
  }

  bool equivalent (const octave_value& orig, const octave_value& back,
                   bool preserve);

  // One value of one element, read back: its class may change, its value
  // may not.
  bool scalar_equivalent (const octave_value& s, const octave_value& back,
                          bool preserve)
  {
    if (s.islogical ())
      return back.is_bool_scalar ()
             && back.bool_value () == (s.issparse ()
                                       ? s.bool_array_value ().xelem (0)
                                       : s.bool_value ());
    if (s.isinteger ())
      {
        // Exact 64-bit value, then the class the reader gives it.
        bool negative;
        uint64_t mag;
        if (s.is_uint64_type ())
          {
            negative = false;
            mag = s.uint64_array_value ().xelem (0).value ();
          }
        else if (s.is_int64_type ())
          {
            const int64_t x = s.int64_array_value ().xelem (0).value ();
            negative = x < 0;
            mag = negative ? 0 - static_cast<uint64_t> (x) : x;
          }
        else
          {
            const double x = s.double_value ();
            negative = x < 0;
            mag = static_cast<uint64_t> (std::fabs (x));
          }
        if (mag > ledger::two53_int)
          {
            if (negative)
              return back.is_int64_type ()
                     && 0 - static_cast<uint64_t> (back.int64_scalar_value ().value ()) == mag;
            return back.is_uint64_type ()
                   && back.uint64_scalar_value ().value () == mag;
          }
        const double want = negative ? -static_cast<double> (mag)
                                     : static_cast<double> (mag);
        return back.is_double_type () && back.is_real_scalar ()
               && back.double_value () == want;
      }
    Complex c = s.iscomplex () ? s.complex_value () : Complex (s.double_value (), 0);
    if (c.imag () != 0)
      return false;
    const double x = c.real ();
    if (! std::isfinite (x) && ! preserve)
      return tree_check::is_null (back);
    return back.is_double_type () && back.is_real_scalar ()
           && tree_check::same_double (back.double_value (), x);
  }

  // A key read back: the text of its value.
  bool key_equivalent (const octave_value& k, const octave_value& back)
  {
    if (! is_text_key (back))
      return false;
    const std::string t = bytes_of (back);
    if (k.is_string ())
      return t == bytes_of (k);
    if (k.islogical ())
      return t == (k.bool_value () ? "true" : "false");
    if (k.numel () != 1)
      return true;
    if (k.isinteger ())
      {
        // The digits of the exact value.
        if (k.is_uint64_type ())
          return t == std::to_string (k.uint64_scalar_value ().value ());
        if (k.is_int64_type ())
          return t == std::to_string (k.int64_scalar_value ().value ());
        return t == std::to_string (static_cast<long long> (k.double_value ()));
      }
    const double x = k.iscomplex () ? k.complex_value ().real ()
                                    : k.double_value ();
    if (std::isnan (x))
      return t == "NaN";
    if (std::isinf (x))
      return t == (x > 0 ? "Inf" : "-Inf");
    // The number's own text, without the ".0" of a value.
    if (t.size () >= 2 && t.compare (t.size () - 2, 2, ".0") == 0)
      return false;
    char *end;
    const double y = std::strtod (t.c_str (), &end);
    return *end == '\0' && tree_check::same_double (x, y);
  }

  bool equivalent (const octave_value& orig, const octave_value& back,
                   bool preserve)
  {
    if (orig.isstruct ())
      {
        const octave_map m = orig.map_value ();
        if (m.nfields () == 0 || m.numel () == 0)
          return tree_check::is_null (back);
        if (! tree_check::is_object (back))
          return false;
        const Cell keys = m.contents ("keys")(0).cell_value ();
        const Cell values = m.contents ("values")(0).cell_value ();
        const octave_scalar_map b = back.scalar_map_value ();
        const Cell bk = b.getfield ("keys").cell_value ();
        const Cell bv = b.getfield ("values").cell_value ();
        if (bk.numel () != keys.numel () || bv.numel () != keys.numel ())
          return false;
        for (octave_idx_type i = 0; i < keys.numel (); i++)
          if (! key_equivalent (keys(i), bk(i))
              || ! equivalent (values(i), bv(i), preserve))
            return false;
        return true;
      }
    if (orig.iscell ())
      {
        const Cell c = orig.cell_value ();
        if (! tree_check::is_column_cell (back) || back.numel () != c.numel ())
          return false;
        const Cell b = back.cell_value ();
        for (octave_idx_type i = 0; i < c.numel (); i++)
          if (! equivalent (c(i), b(i), preserve))
            return false;
        return true;
      }
    if (orig.is_string ())
      return tree_check::is_text (back) && bytes_of (back) == bytes_of (orig);
    if (orig.numel () == 1)
      return scalar_equivalent (orig, back, preserve);
    if (! tree_check::is_column_cell (back) || back.numel () != orig.numel ())
      return false;
    const Cell b = back.cell_value ();
    for (octave_idx_type i = 0; i < orig.numel (); i++)
      if (! scalar_equivalent (element (orig, i), b(i), preserve))
        return false;
    return true;
  }

  // SortKeys only moves members: the same bytes in another order, so the
  // same length, written whenever the compact text is.  Canonical text read
  // back and written again is the same text where it can be written.
  void
  check_sorted (const octave_value& tree, const std::string& compact,
                bool preserve)
  {
    ledger::settings s;
    s.preserve = preserve;
    s.sort_keys = true;
    std::string sorted, why;
    if (! render (tree, s, sorted, why))
      fault ("SortKeys refused a tree that is written", why);
    if (sorted.size () != compact.size ())
      fault ("SortKeys changed more than the order of members",
             compact + "\n" + sorted);
    s = ledger::settings ();
    s.canonical = true;
    std::string canonical;
    if (! render (tree, s, canonical, why))
      return;
    json_parser p (canonical, ledger::settings ());
    const octave_value back = p.parse ();
    if (! p.error_message ().empty ())
      {
        if (p.error_code () == scan_error::too_deep)
          return;
        fault ("the canonical text does not read back",
               p.error_message () + "\n" + canonical);
      }
    // A whole double beyond 2^53 is written in its shortest digits, which
    // read back as an integer of other digits that no double holds.
    std::string again;
    if (render (back, s, again, why) && again != canonical)
      fault ("canonical text written again differs", canonical + "\n" + again);
  }
}

extern "C" int
LLVMFuzzerInitialize (int *, char ***)
{
  // Kept for the whole run: the interpreter is never started or torn down.
  host = new octave::interpreter ();
  show = std::getenv ("LEDGER_FUZZ_SHOW") != nullptr;
  return 0;
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, std::size_t size)
{
  if (size == 0)
    return 0;
  const bool preserve = data[0] & 2;
  tree_maker maker (data + 1, size - 1);
  const octave_value tree = maker.make (0);
  const built& info = maker.info;

  std::string compact, pretty, why;
  const bool ok = render (tree, false, preserve, compact, why);
  if (render (tree, true, preserve, pretty, why) != ok)
    fault ("rendered in one layout only", why);
  if (show)
    std::fprintf (stderr, "%s\n", ok ? pretty.c_str () : why.c_str ());
  if (! ok)
    {
      if (! info.odd)
        fault ("a host error for a tree that can be written", why);
      return 0;
    }
  if (squeeze (compact) != compact)
    fault ("blanks between the tokens of the compact text", compact);
  if (squeeze (pretty) != compact)
    fault ("the pretty text holds other tokens than the compact one",
           compact + "\n" + pretty);
  check_layout (pretty);

  const std::string& text = data[0] & 1 ? pretty : compact;
  ledger::settings options;
  options.infnan = preserve;
  json_parser p (text, options);
  const octave_value back = p.parse ();
  if (! p.error_message ().empty ())
    {
      if (p.error_code () == scan_error::too_deep
          && (info.depth > ledger::default_depth || info.odd))
        return 0;
      fault ("the written text does not read back",
             p.error_message () + "\n" + text);
    }
  if (info.depth > ledger::default_depth && ! info.odd)
    fault ("a tree deeper than the reader's limit read back", text);
  bool same_content;
  try
    {
      same_content = equivalent (tree, back, preserve);
    }
  catch (const octave::execution_exception& e)
    {
      fault ("a tree that cannot be written was written", e.message ()
             + "\n" + text);
    }
  if (! same_content)
    fault ("the text reads back as another tree", text);
  if (info.reader_only && (preserve || ! info.nonfinite))
    {
      tree_check::reader_kinds (tree, 0);
      if (! tree_check::same (tree, back))
        fault ("a tree of the reader's kinds reads back changed", text);
    }
  check_sorted (tree, compact, preserve);
  return 0;
}

