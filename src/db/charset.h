#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lorelist {

// The encoding of a dictionary. Windows-1252: single bytes, every file as it
// ever was. UTF-8: marked by the byte-order mark at the very start of the
// file. The database keeps each dictionary's own bytes; whatever turns them
// into characters asks which.
enum class Encoding { kWindows1252, kUtf8 };
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// True when every byte is below 0x80: the same text in either encoding.
bool IsAscii(std::string_view bytes);
// "windows-1252" or "utf-8", as the journal names an encoding.
const char* EncodingName(Encoding encoding);

// How many bytes at the start of `bytes` are valid UTF-8 (no overlong forms,
// no surrogates, nothing past U+10FFFF): bytes.size() when all of them are.
size_t ValidUtf8Length(std::string_view bytes);
inline bool IsValidUtf8(std::string_view bytes) {
  return ValidUtf8Length(bytes) == bytes.size();
}
// The code point at `at`, which then moves past it; a byte that does not
// start a valid sequence reads as U+FFFD and is passed alone.
char32_t NextCodePoint(std::string_view bytes, size_t& at);
// Appends a text of the encoding in UTF-8; in a UTF-8 text, each byte that
// cannot be read shows as U+FFFD.
void AppendAsUtf8(std::string& out, std::string_view bytes, Encoding encoding);
// The characters a text holds: its bytes in Windows-1252, its code points in
// UTF-8 (a byte that cannot be read counts as one).
size_t CharacterCount(std::string_view bytes, Encoding encoding);

// The database holds single bytes in the Windows-1252 character set. The five
// bytes that set leaves undefined map to the C1 controls of the same value, so
// every byte survives a round trip through Unicode.
char16_t Cp1252ToUnicode(unsigned char byte);

// The byte for a Unicode character, or -1 when the set has none.
int UnicodeToCp1252(char32_t ch);

// Appends the text in UTF-8.
void AppendCp1252AsUtf8(std::string& out, std::string_view bytes);

// UTF-8 text as Windows-1252 bytes.
enum class Utf8Conversion { kDone, kNotUtf8, kOutsideTheSet };
Utf8Conversion Utf8ToCp1252(std::string_view utf8, std::string& bytes);

// Tells, from bytes fed in pieces of any size, whether a file is valid UTF-8
// with at least one multi-byte sequence: most likely not Windows-1252, where
// accented letters are single bytes that UTF-8 forbids alone.
class Utf8Sniffer {
 public:
  void Add(const char* data, size_t size);
  bool LooksLikeUtf8() const { return valid_ && multibyte_ && pending_ == 0; }

 private:
  int pending_ = 0;                         // continuation bytes still to come
  unsigned char low_ = 0x80, high_ = 0xBF;  // the range of the next one
  bool valid_ = true;
  bool multibyte_ = false;
};

// Appends a character in UTF-8.
void AppendUtf8(std::string& out, char32_t ch);

// The upper-case form of a byte within the set (the same byte where the set
// has none): a-z, the accented small letters, š, œ, ž and ÿ.
unsigned char UpperCp1252(unsigned char byte);

}  // namespace lorelist
