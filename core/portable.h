// ledgerkit: what differs between the interpreters and compilers that the
// modules are built with (Octave 6.2 to 11.3; g++ 10 and later, clang),
// mended once for all three modules.  Each difference is found by a
// build-time feature test on the interpreter's headers or the C++ library,
// never by a list of versions:
//
//   cell_of_size   a Cell whose elements are made one by one.  Where the
//                  interpreter's Array takes an allocator and adopts storage
//                  made with it (Octave 7 on), the values are moved into raw
//                  storage of the Cell's own allocator, which the Cell then
//                  owns; elsewhere (Octave 6) the Cell is made of its size
//                  and each element is move-assigned into place.  No memory
//                  is ever handed to a Cell from another allocator.
//   idx_vector     the interpreter's index type (octave::idx_vector from
//                  Octave 7, ::idx_vector before): the type that
//                  octave_value::index_vector returns.
//   index_op       octave_value::index_op where it exists, else do_index_op.
//   range_of       a range value: octave::range<double>::make_n_element_range
//                  where it exists (Octave 7 on), else Range (base, inc, n).
//   to_double      the correctly rounded double of a decimal literal:
//                  std::from_chars where the C++ library has it for double
//                  (g++ 11 on), else strtod in the C locale.
//   shortest_scientific, scientific
//                  std::to_chars (x, std::chars_format::scientific[, p]) for
//                  a double where the library has it, else snprintf ("%.*e")
//                  in the C locale with the same text.

#ifndef LEDGERKIT_CORE_PORTABLE_H
#define LEDGERKIT_CORE_PORTABLE_H

#include <octave/oct.h>
#include <octave/Cell.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>

namespace ledger
{
  // ---- the cell allocation rule -------------------------------------------

  namespace detail
  {
    // The allocator of an Array<T, A>; an Array of one parameter has none,
    // and the plain allocator stands in (it is never used then).
    template <template <typename...> class Arr, typename T, typename A>
    A allocator_of (const Arr<T, A> *, int);
    std::allocator<octave_value> allocator_of (const void *, long);
  }

  // The allocator a Cell frees its storage with; it differs between builds
  // of the interpreter (plain or polymorphic), so it is taken from the type.
  typedef decltype (detail::allocator_of (std::declval<const Cell *> (), 0))
    cell_allocator;
  typedef std::allocator_traits<cell_allocator> cell_alloc_traits;

  // True when an Array of values adopts storage made by that allocator.
  constexpr bool cell_adopts_storage
    = std::is_constructible<Array<octave_value>, octave_value *,
                            const dim_vector&, const cell_allocator&>::value;

  namespace detail
  {
    // Arr is Array<octave_value>, a parameter so that the construction is
    // only checked where it is used.
    template <typename Arr, typename Make>
    Cell cell_of_size (const dim_vector& dv, Make& make, std::true_type)
    {
      const octave_idx_type n = dv.numel ();
      cell_allocator alloc;
      octave_value *items = cell_alloc_traits::allocate (alloc, n);
      for (octave_idx_type i = 0; i < n; i++)
        cell_alloc_traits::construct (alloc, items + i, make (i));
      return Cell (Arr (items, dv, alloc));
    }

    template <typename Arr, typename Make>
    Cell cell_of_size (const dim_vector& dv, Make& make, std::false_type)
    {
      const octave_idx_type n = dv.numel ();
      Arr a (dv);
      for (octave_idx_type i = 0; i < n; i++)
        a.xelem (i) = make (i);
      return Cell (a);
    }
  }

  // A Cell of DV whose element I (in column order) is MAKE (I); MAKE may
  // return an rvalue reference, and the value is then moved.
  template <typename Make>
  Cell cell_of_size (const dim_vector& dv, Make make)
  {
    return detail::cell_of_size<Array<octave_value>> (
      dv, make, std::integral_constant<bool, cell_adopts_storage> ());
  }

  // ---- indexing -----------------------------------------------------------

  typedef decltype (std::declval<const octave_value&> ().index_vector ())
    idx_vector;

  namespace detail
  {
    template <typename V>
    auto index_op (V& v, const octave_value_list& idx, int)
      -> decltype (v.index_op (idx))
    {
      return v.index_op (idx);
    }

    template <typename V>
    octave_value index_op (V& v, const octave_value_list& idx, long)
    {
      return v.do_index_op (idx);
    }
  }

  // V (IDX...), as the interpreter indexes a value.
  inline octave_value index_op (octave_value& v, const octave_value_list& idx)
  {
    return detail::index_op (v, idx, 0);
  }

  // ---- ranges -------------------------------------------------------------

  // The interpreter's range of doubles: octave::range<double> from Octave 7,
  // Range before; the type that octave_value::range_value returns.
  typedef decltype (std::declval<const octave_value&> ().range_value ())
    range_type;

  namespace detail
  {
    template <typename R>
    auto range_of (double base, double increment, octave_idx_type n, int)
      -> decltype (R::make_n_element_range (base, increment, n))
    {
      return R::make_n_element_range (base, increment, n);
    }

    // Range (base, increment, count) where there is no such factory.
    template <typename R>
    R range_of (double base, double increment, octave_idx_type n, long)
    {
      return R (base, increment, n);
    }
  }

  // The range of N doubles from BASE by INCREMENT, as a value.
  inline octave_value range_of (double base, double increment,
                                octave_idx_type n)
  {
    return octave_value (detail::range_of<range_type> (base, increment, n, 0));
  }

  // ---- numbers ------------------------------------------------------------

  namespace detail
  {
    template <typename D, typename = void>
    struct has_from_chars : std::false_type {};
    template <typename D>
    struct has_from_chars<D, std::void_t<decltype (
      std::from_chars (std::declval<const char *> (),
                       std::declval<const char *> (), std::declval<D&> ()))>>
      : std::true_type {};

    // Both forms that the modules use: the shortest, and at a precision.
    template <typename D, typename = void>
    struct has_to_chars : std::false_type {};
    template <typename D>
    struct has_to_chars<D, std::void_t<
      decltype (std::to_chars (std::declval<char *> (), std::declval<char *> (),
                               std::declval<D> (),
                               std::chars_format::scientific)),
      decltype (std::to_chars (std::declval<char *> (), std::declval<char *> (),
                               std::declval<D> (),
                               std::chars_format::scientific, 0))>>
      : std::true_type {};

    // The C locale, for reading and writing numbers whatever the process's.
    inline locale_t c_locale ()
    {
      static const locale_t c = newlocale (LC_ALL_MASK, "C", (locale_t) 0);
      return c;
    }

    // The C locale for this thread while it lives.
    class in_c_locale
    {
    public:
      in_c_locale () : m_old (uselocale (c_locale ())) { }
      ~in_c_locale () { uselocale (m_old); }
      in_c_locale (const in_c_locale&) = delete;
      in_c_locale& operator = (const in_c_locale&) = delete;
    private:
      locale_t m_old;
    };

    // strtod of FIRST to LAST in the C locale.
    inline double strtod_c (const char *first, const char *last)
    {
      const std::size_t n = last - first;
      char small[64];
      std::string big;
      const char *s = small;
      if (n < sizeof small)
        {
          std::memcpy (small, first, n);
          small[n] = '\0';
        }
      else
        {
          big.assign (first, last);
          s = big.c_str ();
        }
      in_c_locale c;
      return std::strtod (s, nullptr);
    }

    template <typename D>
    D to_double (const char *first, const char *last, std::true_type)
    {
      D d;
      const std::from_chars_result r = std::from_chars (first, last, d);
      if (r.ec == std::errc () && r.ptr == last)
        return d;
      // Beyond the range of doubles: an infinity of its sign, or below it
      // zero or a subnormal, as strtod rounds.
      return strtod_c (first, last);
    }

    template <typename D>
    D to_double (const char *first, const char *last, std::false_type)
    {
      return strtod_c (first, last);
    }

    template <typename D>
    char * shortest (char *first, char *last, D x, std::true_type)
    {
      return std::to_chars (first, last, x,
                            std::chars_format::scientific).ptr;
    }

    template <typename D>
    char * at_precision (char *first, char *last, D x, int precision,
                         std::true_type)
    {
      return std::to_chars (first, last, x, std::chars_format::scientific,
                            precision).ptr;
    }

    // printf's "%.*e" of X: the correctly rounded digits at PRECISION, the
    // text std::to_chars writes in scientific form at that precision.
    inline int print_e (char *buf, std::size_t size, double x, int precision)
    {
      in_c_locale c;
      return std::snprintf (buf, size, "%.*e", precision, x);
    }

    template <typename D>
    char * at_precision (char *first, char *last, D x, int precision,
                         std::false_type)
    {
      char t[48];
      const int n = print_e (t, sizeof t, x, precision);
      if (n < 0 || n > last - first)
        return first;
      std::memcpy (first, t, n);
      return first + n;
    }

    // True when the gap to the next double below |X| is narrower than the
    // gap above: |X| is a power of two above the smallest normal.
    inline bool lopsided (double x)
    {
      std::uint64_t bits;
      std::memcpy (&bits, &x, sizeof bits);
      bits &= ~(std::uint64_t (1) << 63);
      return (bits & 0xfffffffffffffULL) == 0 && (bits >> 52) > 1;
    }

    // The scientific text S (of length N, in BUF of room for one more
    // character) with its last digit one unit greater in magnitude:
    // "1.29e+05" becomes "1.30e+05", "9.9e-01" becomes "1.0e+00".
    inline int next_up (char *s, int n)
    {
      char *e = static_cast<char *> (std::memchr (s, 'e', n));
      char *first = s + (*s == '-');
      char *q = e - 1;
      for (;; q--)
        {
          if (*q == '.')
            continue;
          if (*q != '9')
            {
              ++*q;
              return n;
            }
          *q = '0';
          if (q == first)
            break;
        }
      // All nines: one followed by zeros, at the next exponent.
      *first = '1';
      // The exponent's digits end with the text, which has no NUL.
      int E = 0;
      for (const char *d = e + 2; d < s + n; d++)
        E = 10 * E + (*d - '0');
      E = (e[1] == '-' ? -E : E) + 1;
      char *p = e + 1;
      *p++ = E < 0 ? '-' : '+';
      if (E < 0)
        E = -E;
      char digits[12];
      int k = 0;
      do
        digits[k++] = '0' + E % 10;
      while ((E /= 10) > 0);
      if (k < 2)
        digits[k++] = '0';
      while (k > 0)
        *p++ = digits[--k];
      return p - s;
    }

    // The shortest scientific text that reads back as X and, of those, the
    // nearest to X, as std::to_chars writes it: the correctly rounded digits
    // at the fewest count that reads back, except where X is a power of two
    // (a narrower gap below) and the nearest digits fall below the gap
    // while the next ones up read back.
    template <typename D>
    char * shortest (char *first, char *last, D x, std::false_type)
    {
      if (! std::isfinite (x) || x == 0)
        return at_precision (first, last, x, 0, std::false_type ());
      const bool power_of_two = lopsided (x);
      char t[48];
      int n = 0;
      for (int p = 0; p <= 16; p++)
        {
          n = print_e (t, sizeof t - 1, x, p);
          if (strtod_c (t, t + n) == x)
            break;
          if (power_of_two)
            {
              char u[48];
              std::memcpy (u, t, n);
              const int m = next_up (u, n);
              if (strtod_c (u, u + m) == x)
                {
                  std::memcpy (t, u, m);
                  n = m;
                  break;
                }
            }
        }
      if (n > last - first)
        return first;
      std::memcpy (first, t, n);
      return first + n;
    }
  }

  // True where std::from_chars and std::to_chars take a double.
  constexpr bool library_reads_doubles = detail::has_from_chars<double>::value;
  constexpr bool library_writes_doubles = detail::has_to_chars<double>::value;

  // The correctly rounded double of the decimal literal FIRST to LAST, which
  // the caller has checked; beyond the range of doubles an infinity of its
  // sign, below it zero or a subnormal.
  inline double to_double (const char *first, const char *last)
  {
    return detail::to_double<double> (
      first, last, std::integral_constant<bool, library_reads_doubles> ());
  }

  // std::to_chars (FIRST, LAST, X, std::chars_format::scientific).ptr.
  inline char * shortest_scientific (char *first, char *last, double x)
  {
    return detail::shortest<double> (
      first, last, x, std::integral_constant<bool, library_writes_doubles> ());
  }

  // std::to_chars (FIRST, LAST, X, std::chars_format::scientific,
  // PRECISION).ptr.
  inline char * scientific (char *first, char *last, double x, int precision)
  {
    return detail::at_precision<double> (
      first, last, x, precision,
      std::integral_constant<bool, library_writes_doubles> ());
  }

  // The fallbacks themselves, for a test that they write what the library
  // writes where both are there.
  inline char * shortest_scientific_fallback (char *first, char *last,
                                              double x)
  {
    return detail::shortest<double> (first, last, x, std::false_type ());
  }

  inline char * scientific_fallback (char *first, char *last, double x,
                                     int precision)
  {
    return detail::at_precision<double> (first, last, x, precision,
                                         std::false_type ());
  }
}

#endif
