#pragma once

#include <string>
#include <string_view>

namespace lorelist {

// The one comparison of the sorted lists: case ignored, accents significant,
// on the text decoded from Windows-1252. Keys compare with plain byte order.
std::string CollationKey(std::string_view cp1252Text);

// The same key, made in a buffer the caller keeps for the next one.
std::string_view CollationKey(std::string_view cp1252Text, std::string& buffer);

}  // namespace lorelist
