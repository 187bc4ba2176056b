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

// One for each thread: loading makes keys on two threads at once.
UCollator* Collator() {
  thread_local std::unique_ptr<UCollator, CollatorClose> collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, CollatorClose> c(ucol_open("", &status));
    if (U_FAILURE(status)) throw std::runtime_error("cannot open the ICU root collator");
    ucol_setStrength(c.get(), UCOL_SECONDARY);
    return c;
  }();
  return collator.get();
}

}  // namespace

std::string_view CollationKey(std::string_view text, std::string& buffer) {
  thread_local std::vector<UChar> decoded;
  decoded.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    decoded[i] = Cp1252ToUnicode(static_cast<unsigned char>(text[i]));
  const auto length = static_cast<int32_t>(decoded.size());
  // Keys are short for the usual entries; ICU tells the size it needs when a
  // long one does not fit.
  if (buffer.size() < 256) buffer.resize(256);
  for (;;) {
    const int32_t needed = ucol_getSortKey(Collator(), decoded.data(), length,
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

std::string CollationKey(std::string_view text) {
  std::string buffer;
  return std::string(CollationKey(text, buffer));
}

}  // namespace lorelist
