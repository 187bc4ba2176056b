#pragma once

#include <string>
#include <string_view>

#include "charset.h"

namespace lorelist {

// The one comparison of the sorted lists: case ignored, accents significant,
// on the text decoded from its encoding; canonically equivalent texts (an
// accented letter or the letter with a combining accent) compare equal. Keys
// compare with plain byte order.
std::string CollationKey(std::string_view text, Encoding encoding = Encoding::kWindows1252);

// The same key, made in a buffer the caller keeps for the next one.
std::string_view CollationKey(std::string_view text, std::string& buffer,
                              Encoding encoding = Encoding::kWindows1252);

}  // namespace lorelist
