#include "charset.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace lorelist {

namespace {

// 0x80..0x9F; the undefined positions keep their own value.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t Cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

int UnicodeToCp1252(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<int>(ch);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == ch) return 0x80 + i;
  return -1;
}

void AppendUtf8(std::string& out, char32_t ch) {
  if (ch < 0x80) {
    out += static_cast<char>(ch);
  } else if (ch < 0x800) {
    out += static_cast<char>(0xC0 | (ch >> 6));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else if (ch < 0x10000) {
    out += static_cast<char>(0xE0 | (ch >> 12));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (ch >> 18));
    out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  }
}

void AppendCp1252AsUtf8(std::string& out, std::string_view bytes) {
  // Each byte's UTF-8 form, at most three bytes: looked up, not worked out.
  struct Form {
    char bytes[3];
    uint8_t length;
  };
  static const auto forms = [] {
    std::array<Form, 256> table{};
    for (int b = 0; b < 256; ++b) {
      std::string form;
      AppendUtf8(form, Cp1252ToUnicode(static_cast<unsigned char>(b)));
      table[b].length = static_cast<uint8_t>(form.copy(table[b].bytes, 3));
    }
    return table;
  }();
  const size_t start = out.size();
  out.resize(start + bytes.size() * 3);
  char* w = out.data() + start;
  for (char c : bytes) {
    const Form& form = forms[static_cast<unsigned char>(c)];
    w[0] = form.bytes[0];
    w[1] = form.bytes[1];
    w[2] = form.bytes[2];
    w += form.length;
  }
  out.resize(static_cast<size_t>(w - out.data()));
}

namespace {

// The length of the valid sequence that starts at p (at most `left` bytes
// long); 0 when none does.
size_t SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead < 0xE0) {
    length = 2;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (left < length || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

bool IsAscii(std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  for (; left >= 8; p += 8, left -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; left > 0; ++p, --left)
    if (static_cast<unsigned char>(*p) >= 0x80) return false;
  return true;
}

const char* EncodingName(Encoding encoding) {
  return encoding == Encoding::kUtf8 ? "utf-8" : "windows-1252";
}

namespace {

// UTF-8's validity as a machine of nine states, each the shift of its six
// bits in a 64-bit row a byte: the next state is the row of the byte shifted
// right by the current one. A row's lowest six bits are 0, the error, which
// thus stays; every byte costs a load and a shift, with no branch.
enum : uint8_t {
  kError = 0,
  kStart = 6,     // between characters
  kOneMore = 12,  // one continuation byte still to come
  kTwoMore = 18,
  kAfterE0 = 24,  // A0..BF next: no overlong form
  kAfterED = 30,  // 80..9F next: no surrogate
  kThreeMore = 36,
  kAfterF0 = 42,  // 90..BF next: no overlong form
  kAfterF4 = 48,  // 80..8F next: nothing past U+10FFFF
};

constexpr std::array<uint64_t, 256> kUtf8Rows = [] {
  std::array<uint64_t, 256> rows{};
  auto go = [&](int low, int high, uint8_t from, uint8_t to) {
    for (int b = low; b <= high; ++b) rows[b] |= uint64_t{to} << from;
  };
  go(0x00, 0x7F, kStart, kStart);
  go(0xC2, 0xDF, kStart, kOneMore);
  go(0xE0, 0xE0, kStart, kAfterE0);
  go(0xE1, 0xEC, kStart, kTwoMore);
  go(0xED, 0xED, kStart, kAfterED);
  go(0xEE, 0xEF, kStart, kTwoMore);
  go(0xF0, 0xF0, kStart, kAfterF0);
  go(0xF1, 0xF3, kStart, kThreeMore);
  go(0xF4, 0xF4, kStart, kAfterF4);
  go(0x80, 0xBF, kOneMore, kStart);
  go(0x80, 0xBF, kTwoMore, kOneMore);
  go(0xA0, 0xBF, kAfterE0, kOneMore);
  go(0x80, 0x9F, kAfterED, kOneMore);
  go(0x80, 0xBF, kThreeMore, kTwoMore);
  go(0x90, 0xBF, kAfterF0, kTwoMore);
  go(0x80, 0x8F, kAfterF4, kTwoMore);
  return rows;
}();

// Where the first sequence that is not valid starts, one at a time.
size_t InvalidAt(const unsigned char* p, size_t size) {
  size_t at = 0;
  while (at < size) {
    // Most text is ASCII: eight bytes at a time, and from a word that is not
    // straight to its first byte that is not.
    if (at + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, p + at, 8);
      const uint64_t high = word & 0x8080808080808080ULL;
      if (high == 0) {
        at += 8;
        continue;
      }
      if constexpr (std::endian::native == std::endian::little)
        at += static_cast<size_t>(std::countr_zero(high)) / 8;
      else
        at += static_cast<size_t>(std::countl_zero(high)) / 8;
    } else if (p[at] < 0x80) {
      ++at;
      continue;
    }
    const size_t length = SequenceLength(p + at, size - at);
    if (length == 0) return at;
    at += length;
  }
  return size;
}

}  // namespace

size_t ValidUtf8Length(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  uint64_t state = kStart;
  size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    // Most text is ASCII: eight bytes at a time while it is.
    uint64_t word;
    std::memcpy(&word, p + at, 8);
    const uint64_t high = word & 0x8080808080808080ULL;
    size_t i = 0;
    if ((state & 63) == kStart) {
      if (high == 0) continue;
      // The ASCII bytes before the first that is not leave the state as it is.
      if constexpr (std::endian::native == std::endian::little)
        i = static_cast<size_t>(std::countr_zero(high)) / 8;
    }
    for (; i < 8; ++i) state = kUtf8Rows[p[at + i]] >> (state & 63);
  }
  for (; at < size; ++at) state = kUtf8Rows[p[at]] >> (state & 63);
  // Only text that is not valid is looked at again, to say where.
  return (state & 63) == kStart ? size : InvalidAt(p, size);
}

char32_t NextCodePoint(std::string_view bytes, size_t& at) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
  const size_t length = SequenceLength(p, bytes.size() - at);
  if (length == 0) {
    ++at;
    return 0xFFFD;
  }
  at += length;
  if (length == 1) return p[0];
  char32_t ch = p[0] & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) ch = ch << 6 | (p[i] & 0x3F);
  return ch;
}

void AppendAsUtf8(std::string& out, std::string_view bytes, Encoding encoding) {
  if (encoding == Encoding::kWindows1252) {
    AppendCp1252AsUtf8(out, bytes);
    return;
  }
  for (size_t at = 0; at < bytes.size();) {
    const size_t valid = ValidUtf8Length(bytes.substr(at));
    out.append(bytes.substr(at, valid));
    at += valid;
    if (at < bytes.size()) {
      out += "\xEF\xBF\xBD";
      NextCodePoint(bytes, at);
    }
  }
}

size_t CharacterCount(std::string_view bytes, Encoding encoding) {
  if (encoding == Encoding::kWindows1252) return bytes.size();
  size_t count = 0;
  for (size_t at = 0; at < bytes.size(); ++count) NextCodePoint(bytes, at);
  return count;
}

Utf8Conversion Utf8ToCp1252(std::string_view utf8, std::string& bytes) {
  bytes.clear();
  bool outside = false;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    char32_t ch;
    size_t length;
    if (lead < 0x80) {
      ch = lead;
      length = 1;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      ch = lead & 0x1F;
      length = 2;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      ch = lead & 0x0F;
      length = 3;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      ch = lead & 0x07;
      length = 4;
    } else {
      return Utf8Conversion::kNotUtf8;
    }
    if (i + length > utf8.size()) return Utf8Conversion::kNotUtf8;
    for (size_t j = 1; j < length; ++j) {
      const auto next = static_cast<unsigned char>(utf8[i + j]);
      if ((next & 0xC0) != 0x80) return Utf8Conversion::kNotUtf8;
      ch = ch << 6 | (next & 0x3F);
    }
    // Overlong forms and surrogates are not valid UTF-8.
    if ((length == 3 && (ch < 0x800 || (ch >= 0xD800 && ch < 0xE000))) ||
        (length == 4 && (ch < 0x10000 || ch > 0x10FFFF)))
      return Utf8Conversion::kNotUtf8;
    const int byte = UnicodeToCp1252(ch);
    if (byte < 0)
      outside = true;
    else
      bytes += static_cast<char>(byte);
    i += length;
  }
  return outside ? Utf8Conversion::kOutsideTheSet : Utf8Conversion::kDone;
}

unsigned char UpperCp1252(unsigned char byte) {
  if (byte >= 'a' && byte <= 'z') return byte - 0x20;
  if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return byte - 0x20;  // à..þ, not ÷
  switch (byte) {
    case 0x9A:  // š
      return 0x8A;
    case 0x9C:  // œ
      return 0x8C;
    case 0x9E:  // ž
      return 0x8E;
    case 0xFF:  // ÿ
      return 0x9F;
    default:
      return byte;
  }
}

void Utf8Sniffer::Add(const char* data, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* end = p + size;
  while (valid_ && p < end) {
    if (pending_ == 0) {
      // Plain ASCII, eight bytes at a time.
      while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL) break;
        p += 8;
      }
      if (p == end) break;
      const unsigned char b = *p++;
      if (b < 0x80) continue;
      multibyte_ = true;
      low_ = 0x80;
      high_ = 0xBF;
      if (b >= 0xC2 && b <= 0xDF) {
        pending_ = 1;
      } else if (b >= 0xE0 && b <= 0xEF) {
        pending_ = 2;
        if (b == 0xE0) low_ = 0xA0;   // no overlong forms
        if (b == 0xED) high_ = 0x9F;  // no surrogates
      } else if (b >= 0xF0 && b <= 0xF4) {
        pending_ = 3;
        if (b == 0xF0) low_ = 0x90;
        if (b == 0xF4) high_ = 0x8F;  // nothing past U+10FFFF
      } else {
        valid_ = false;
      }
    } else {
      const unsigned char b = *p++;
      if (b < low_ || b > high_) valid_ = false;
      low_ = 0x80;
      high_ = 0xBF;
      --pending_;
    }
  }
}

}  // namespace lorelist
