#include "convert.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "db/charset.h"

namespace lorelist {

namespace {

struct Closer {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, Closer>;

// A converter that stops at the first byte or character it cannot take.
Converter Open(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
  return U_FAILURE(status) ? nullptr : std::move(converter);
}

constexpr const char* kCp1252 = "windows-1252";

// The first character of a line that the target set cannot hold, for the
// message: "'X' (U+XXXX)".
std::string Unholdable(const std::u16string& line, UConverter* target) {
  for (size_t i = 0; i < line.size(); ++i) {
    const size_t width = U16_IS_LEAD(line[i]) && i + 1 < line.size() ? 2 : 1;
    char byte[8];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(target);
    ucnv_fromUChars(target, byte, sizeof byte, line.data() + i, static_cast<int32_t>(width),
                    &status);
    if (U_FAILURE(status)) {
      const char32_t ch = width == 2 ? U16_GET_SUPPLEMENTARY(line[i], line[i + 1]) : line[i];
      std::string shown;
      AppendUtf8(shown, ch);
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(ch));
      return "'" + shown + "' (" + code + ")";
    }
    i += width - 1;
  }
  return "a character";
}

std::string NotValid(uint64_t line, const char* set) {
  return "line " + std::to_string(line) + ": not valid " + set + " text";
}

// The 1-based line of the byte at `at`.
uint64_t LineAt(std::string_view bytes, size_t at) {
  return static_cast<uint64_t>(
             std::count(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(at), '\n')) +
         1;
}

// Converts line by line from one set to the other through UTF-16.
std::string Convert(std::string_view in, const char* from, const char* to, std::string& out) {
  Converter source = Open(from), target = Open(to);
  if (!source || !target) return "the converters of ICU are missing";
  out.clear();
  out.reserve(in.size() + in.size() / 8);
  std::u16string wide;
  std::vector<char> bytes;
  uint64_t number = 0;
  for (size_t at = 0; at < in.size();) {
    ++number;
    const size_t newline = in.find('\n', at);
    const size_t end = newline == std::string_view::npos ? in.size() : newline + 1;
    const std::string_view line = in.substr(at, end - at);
    at = end;
    UErrorCode status = U_ZERO_ERROR;
    wide.resize(line.size() + 1);
    ucnv_reset(source.get());
    const int32_t units =
        ucnv_toUChars(source.get(), wide.data(), static_cast<int32_t>(wide.size()), line.data(),
                      static_cast<int32_t>(line.size()), &status);
    if (U_FAILURE(status)) return NotValid(number, from);
    wide.resize(static_cast<size_t>(units));
    bytes.resize(wide.size() * 4 + 4);
    status = U_ZERO_ERROR;
    ucnv_reset(target.get());
    const int32_t written =
        ucnv_fromUChars(target.get(), bytes.data(), static_cast<int32_t>(bytes.size()), wide.data(),
                        static_cast<int32_t>(wide.size()), &status);
    if (U_FAILURE(status))
      return "line " + std::to_string(number) + ": " + Unholdable(wide, target.get()) +
             " cannot be held in Windows-1252";
    out.append(bytes.data(), static_cast<size_t>(written));
  }
  return {};
}

}  // namespace

std::string ConvertFromUtf8(std::string_view utf8, std::string& out) {
  if (utf8.starts_with(kByteOrderMark)) utf8.remove_prefix(kByteOrderMark.size());
  return Convert(utf8, "UTF-8", kCp1252, out);
}

std::string MarkAsUtf8(std::string_view utf8, const std::function<void(std::string_view)>& put) {
  if (utf8.starts_with(kByteOrderMark)) utf8.remove_prefix(kByteOrderMark.size());
  if (const size_t valid = ValidUtf8Length(utf8); valid < utf8.size())
    return NotValid(LineAt(utf8, valid), "UTF-8");
  put(kByteOrderMark);
  put(utf8);
  return {};
}

std::string ConvertToUtf8(std::string_view bytes,
                          const std::function<void(std::string_view)>& put) {
  // Read as Windows-1252 the mark would be three letters more.
  if (bytes.starts_with(kByteOrderMark))
    return "line 1: the byte-order mark says it is UTF-8 already";
  Converter source = Open(kCp1252);
  if (!source) return "the converters of ICU are missing";
  // Windows-1252 is a set of one byte a character: each byte's UTF-8 asked of
  // ICU once, then the file by table, gives what converting it line by line
  // gives (ASCII is itself in it).
  struct Utf8 {
    char bytes[4];
    uint8_t length;  // 0: the set does not define the byte
  } table[256];
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    UChar wide[4];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(source.get());
    const int32_t units = ucnv_toUChars(source.get(), wide, 4, &byte, 1, &status);
    std::string utf8;
    for (int32_t i = 0; U_SUCCESS(status) && i < units;) {
      UChar32 ch;
      U16_NEXT(wide, i, units, ch);
      AppendUtf8(utf8, static_cast<char32_t>(ch));
    }
    table[b].length = U_FAILURE(status) || utf8.size() > 4 ? 0 : static_cast<uint8_t>(utf8.size());
    utf8.copy(table[b].bytes, table[b].length);
  }
  put(kByteOrderMark);
  char chunk[3 << 14];
  for (size_t at = 0; at < bytes.size();) {
    const size_t stop = std::min(bytes.size(), at + sizeof chunk / 4);
    char* end = chunk;
    for (; at < stop; ++at) {
      const auto b = static_cast<unsigned char>(bytes[at]);
      if (b < 0x80) {
        *end++ = static_cast<char>(b);
        continue;
      }
      const Utf8& utf8 = table[b];
      if (utf8.length == 0) return NotValid(LineAt(bytes, at), kCp1252);
      std::memcpy(end, utf8.bytes, 4);
      end += utf8.length;
    }
    put(std::string_view(chunk, static_cast<size_t>(end - chunk)));
  }
  return {};
}

}  // namespace lorelist
