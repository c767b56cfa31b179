// UTF-8: what a well-formed character is, and the order of texts by their
// UTF-16 code units, once for every module.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_UTF8_H
#define LEDGERKIT_CORE_UTF8_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ledger
{
  // The bytes of the well-formed UTF-8 character at S (LEFT bytes on), or
  // 0 where none starts: a stray continuation byte, a lead byte cut short,
  // an overlong form, a surrogate, a code point above U+10FFFF.
  inline std::size_t
  utf8_char (const char *s, std::size_t left)
  {
    const unsigned char b = s[0];
    if (b < 0x80)
      return 1;
    if (b < 0xC2 || b > 0xF4)
      return 0;
    const std::size_t size = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    // The second byte's range excludes overlong forms and surrogates.
    const unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    if (left < size)
      return 0;
    const unsigned char second = s[1];
    if (second < low || second > high)
      return 0;
    for (std::size_t k = 2; k < size; k++)
      if ((static_cast<unsigned char> (s[k]) & 0xC0) != 0x80)
        return 0;
    return size;
  }

  // True when the N bytes at S are well-formed UTF-8.  Runs of ASCII are
  // passed over eight bytes at a time.
  inline bool
  is_utf8 (const char *s, std::size_t n)
  {
    std::size_t i = 0;
    while (i < n)
      {
        if (n - i >= 8)
          {
            std::uint64_t w;
            std::memcpy (&w, s + i, 8);
            if (! (w & 0x8080808080808080ULL))
              {
                i += 8;
                continue;
              }
          }
        const std::size_t k = utf8_char (s + i, n - i);
        if (k == 0)
          return false;
        i += k;
      }
    return true;
  }

  // The code point of the well-formed character of SIZE bytes at S.
  inline std::uint32_t
  code_point (const char *s, std::size_t size)
  {
    const unsigned char *u = reinterpret_cast<const unsigned char *> (s);
    switch (size)
      {
      case 1: return u[0];
      case 2: return (u[0] & 0x1F) << 6 | (u[1] & 0x3F);
      case 3: return (u[0] & 0x0F) << 12 | (u[1] & 0x3F) << 6 | (u[2] & 0x3F);
      default:
        return (u[0] & 0x07) << 18 | (u[1] & 0x3F) << 12
               | (u[2] & 0x3F) << 6 | (u[3] & 0x3F);
      }
  }

  // True when the well-formed UTF-8 text A (NA bytes) comes before B (NB
  // bytes) in the order of their UTF-16 code units.  That is the order of
  // their bytes but where the first characters that differ are one above
  // U+FFFF (a surrogate pair, D800 to DFFF) and one from U+E000 to U+FFFF.
  inline bool
  utf16_less (const char *a, std::size_t na, const char *b, std::size_t nb)
  {
    const std::size_t n = std::min (na, nb);
    std::size_t i = 0;
    while (i < n && a[i] == b[i])
      i++;
    if (i == n)
      return na < nb;
    // Back to the start of the character the first difference falls in.
    while (i > 0 && (static_cast<unsigned char> (a[i]) & 0xC0) == 0x80)
      i--;
    const std::uint32_t x = code_point (a + i, utf8_char (a + i, na - i));
    const std::uint32_t y = code_point (b + i, utf8_char (b + i, nb - i));
    const std::uint32_t ux = x > 0xFFFF ? 0xD800 + ((x - 0x10000) >> 10) : x;
    const std::uint32_t uy = y > 0xFFFF ? 0xD800 + ((y - 0x10000) >> 10) : y;
    return ux != uy ? ux < uy : x < y;
  }
}

#endif
