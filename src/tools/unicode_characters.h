#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorelist {

// The characters a UTF-8 dictionary's inventory offers, by block and by
// name: every assigned character that shows or shapes text. Controls,
// surrogates, private use and the line and paragraph separators (a line
// break, which no text may hold) are left out. Plain C++ and ICU.
class UnicodeCharacters {
 public:
  struct Block {
    std::string name;   // "Greek and Coptic"
    size_t begin, end;  // its characters: All()[begin] up to All()[end - 1]
  };

  // The one inventory of the process, built on first use (a few ms); the
  // name index is built on the first search by name.
  static const UnicodeCharacters& Instance();

  // Every offered character, by code point.
  const std::vector<char32_t>& All() const { return all_; }
  // The blocks that hold offered characters, in the order of their code points.
  const std::vector<Block>& Blocks() const { return blocks_; }
  bool Offered(char32_t c) const;
  // Drawn as nothing on its own: a space or a format character.
  static bool Invisible(char32_t c);
  // A combining mark, drawn on the character before it.
  static bool Mark(char32_t c);
  // Unicode's name ("GREEK SMALL LETTER SIGMA") and the name of its block.
  static std::string Name(char32_t c);
  static std::string BlockName(char32_t c);

  // "U+03C3", at least four digits.
  static std::string Hex(char32_t c);
  // The code point of "U+3c3", "u+03C3" or, with bare allowed, "3C3"; none
  // when the text is not one.
  static std::optional<char32_t> ParseHex(std::string_view text, bool bare);

  // The characters whose name holds every word of `query` at the start of one
  // of its words (case ignored; "sigma", "final sigma", "non-join"): first
  // those where each is a whole word and the name ends in one ("GREEK SMALL
  // LETTER SIGMA"), then the others where each is whole, then the rest, each
  // part by code point. A query that is a code point ("U+05D0") finds that
  // character alone, a bare hex number ("05D0") puts it before the names.
  std::vector<char32_t> Search(std::string_view query) const;

 private:
  UnicodeCharacters();
  void IndexNames() const;
  // The index in All() of the name that holds byte `at` of names_.
  size_t NameAt(size_t at) const;

  std::vector<char32_t> all_;
  std::vector<Block> blocks_;
  // Every name in the order of All(), each ended by '\n', and where each starts.
  mutable std::string names_;
  mutable std::vector<uint32_t> nameStarts_;
};

}  // namespace lorelist
