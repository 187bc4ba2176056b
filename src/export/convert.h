#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lorelist {

// Converts a whole file's bytes between UTF-8 and Windows-1252 with ICU's
// converters. The five bytes Windows-1252 leaves undefined are the C1
// controls of the same value both ways, so a file survives the round trip
// byte for byte. Returns "" when done, else why not, with the 1-based line
// (and then what was put out is not to be used). A byte-order mark opening
// UTF-8 input is dropped.
std::string ConvertFromUtf8(std::string_view utf8, std::string& out);
// Hands the UTF-8 over in pieces, so that a large file is never held twice,
// the byte-order mark first: a UTF-8 dictionary. Input that has the mark is
// refused: it is UTF-8 already.
std::string ConvertToUtf8(std::string_view bytes, const std::function<void(std::string_view)>& put);
// UTF-8 as it is, with the byte-order mark (once: input that has it is put
// out unchanged). Refused, with its line, when it is not UTF-8.
std::string MarkAsUtf8(std::string_view utf8, const std::function<void(std::string_view)>& put);

}  // namespace lorelist
