#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lorelist {

// Converts a whole file's bytes between UTF-8 and the database's Windows-1252
// with ICU's converters. The five bytes Windows-1252 leaves undefined are the
// C1 controls of the same value both ways, so a file survives the round trip
// byte for byte. Returns "" when done, else why not, with the 1-based line
// (and then what was put out is not to be used). A byte order mark opening
// UTF-8 input is dropped.
std::string ConvertFromUtf8(std::string_view utf8, std::string& out);
// Hands the UTF-8 over in pieces, so that a large file is never held twice.
std::string ConvertToUtf8(std::string_view bytes, const std::function<void(std::string_view)>& put);

}  // namespace lorelist
