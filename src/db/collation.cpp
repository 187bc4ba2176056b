#include "collation.h"

#include <unicode/ucol.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "charset.h"

namespace lorelist {

namespace {

struct CollatorClose {
  void operator()(UCollator* collator) const { ucol_close(collator); }
};

std::unique_ptr<UCollator, CollatorClose> OpenCollator(bool normalizing) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, CollatorClose> c(ucol_open("", &status));
  if (U_FAILURE(status)) throw std::runtime_error("cannot open the ICU root collator");
  ucol_setStrength(c.get(), UCOL_SECONDARY);
  // Windows-1252 texts are all in the form the collator needs; any Unicode
  // text may not be, and is normalized for the comparison.
  if (normalizing) ucol_setAttribute(c.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
  return c;
}

// One of each for each thread: loading makes keys on two threads at once.
UCollator* Collator(Encoding encoding) {
  thread_local auto cp1252 = OpenCollator(false);
  thread_local auto unicode = OpenCollator(true);
  return encoding == Encoding::kUtf8 ? unicode.get() : cp1252.get();
}

}  // namespace

std::string_view CollationKey(std::string_view text, std::string& buffer, Encoding encoding) {
  thread_local std::vector<UChar> decoded;
  decoded.clear();
  if (encoding == Encoding::kWindows1252) {
    decoded.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i)
      decoded[i] = Cp1252ToUnicode(static_cast<unsigned char>(text[i]));
  } else {
    decoded.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
      const char32_t ch = NextCodePoint(text, at);
      if (ch < 0x10000) {
        decoded.push_back(static_cast<UChar>(ch));
      } else {
        decoded.push_back(static_cast<UChar>(0xD7C0 + (ch >> 10)));
        decoded.push_back(static_cast<UChar>(0xDC00 | (ch & 0x3FF)));
      }
    }
  }
  const auto length = static_cast<int32_t>(decoded.size());
  // Keys are short for the usual entries; ICU tells the size it needs when a
  // long one does not fit.
  if (buffer.size() < 256) buffer.resize(256);
  for (;;) {
    const int32_t needed = ucol_getSortKey(Collator(encoding), decoded.data(), length,
                                           reinterpret_cast<uint8_t*>(buffer.data()),
                                           static_cast<int32_t>(buffer.size()));
    if (needed <= static_cast<int32_t>(buffer.size())) {
      if (decoded.capacity() > (1 << 20)) {
        decoded.clear();  // one huge entry must not keep its memory for good
        decoded.shrink_to_fit();
      }
      return std::string_view(buffer.data(), needed > 0 ? needed - 1 : 0);  // no final zero
    }
    buffer.resize(static_cast<size_t>(needed));
  }
}

std::string CollationKey(std::string_view text, Encoding encoding) {
  std::string buffer;
  return std::string(CollationKey(text, buffer, encoding));
}

}  // namespace lorelist
