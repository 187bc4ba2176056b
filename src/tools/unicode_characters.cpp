#include "unicode_characters.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace lorelist {

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;

bool OfferedType(int8_t type) {
  switch (type) {
    case U_UNASSIGNED:
    case U_CONTROL_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return false;
    default:
      return true;
  }
}

UBool AddRange(const void* context, UChar32 start, UChar32 limit, UCharCategory type) {
  if (OfferedType(static_cast<int8_t>(type))) {
    auto& all = *static_cast<std::vector<char32_t>*>(const_cast<void*>(context));
    for (UChar32 c = start; c < limit; ++c) all.push_back(static_cast<char32_t>(c));
  }
  return true;
}

// Names are upper-case ASCII; their words are parted by blanks and hyphens,
// the names of the index by line ends.
bool WordStart(std::string_view text, size_t at) {
  return at == 0 || text[at - 1] == ' ' || text[at - 1] == '-' || text[at - 1] == '\n';
}

enum class Match { kNone, kPrefix, kWhole };

Match FindWord(std::string_view name, std::string_view word) {
  Match best = Match::kNone;
  for (size_t at = name.find(word); at != std::string_view::npos; at = name.find(word, at + 1)) {
    if (!WordStart(name, at)) continue;
    const size_t end = at + word.size();
    if (end == name.size() || name[end] == ' ' || name[end] == '-') return Match::kWhole;
    best = Match::kPrefix;
  }
  return best;
}

std::vector<std::string> Words(std::string_view query) {
  std::vector<std::string> words;
  std::string word;
  for (size_t i = 0; i <= query.size(); ++i) {
    const char c = i < query.size() ? query[i] : ' ';
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
  }
  return words;
}

}  // namespace

const UnicodeCharacters& UnicodeCharacters::Instance() {
  static const UnicodeCharacters characters;
  return characters;
}

UnicodeCharacters::UnicodeCharacters() {
  all_.reserve(160000);
  u_enumCharTypes(&AddRange, &all_);
  // A block is one range of code points: its offered characters follow each other.
  for (size_t i = 0; i < all_.size();) {
    const UBlockCode block = ublock_getCode(static_cast<UChar32>(all_[i]));
    size_t end = i + 1;
    while (end < all_.size() && ublock_getCode(static_cast<UChar32>(all_[end])) == block) ++end;
    blocks_.push_back({BlockName(all_[i]), i, end});
    i = end;
  }
}

bool UnicodeCharacters::Offered(char32_t c) const {
  return c <= kLastCodePoint && OfferedType(u_charType(static_cast<UChar32>(c)));
}

bool UnicodeCharacters::Invisible(char32_t c) {
  const int8_t type = u_charType(static_cast<UChar32>(c));
  return type == U_SPACE_SEPARATOR || type == U_FORMAT_CHAR;
}

bool UnicodeCharacters::Mark(char32_t c) {
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_M_MASK) != 0;
}

std::string UnicodeCharacters::Name(char32_t c) {
  char name[128];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length =
      u_charName(static_cast<UChar32>(c), U_UNICODE_CHAR_NAME, name, sizeof name, &status);
  return U_SUCCESS(status) ? std::string(name, static_cast<size_t>(length)) : std::string();
}

std::string UnicodeCharacters::BlockName(char32_t c) {
  const char* alias = u_getPropertyValueName(UCHAR_BLOCK, ublock_getCode(static_cast<UChar32>(c)),
                                             U_LONG_PROPERTY_NAME);
  // "Greek_And_Coptic" as Unicode's list of blocks has it: "Greek and Coptic".
  std::string name = " " + std::string(alias ? alias : "") + " ";
  std::replace(name.begin(), name.end(), '_', ' ');
  for (const char* small : {" And ", " For ", " Of "})
    for (size_t at = name.find(small); at != std::string::npos; at = name.find(small, at + 1))
      name[at + 1] = static_cast<char>(name[at + 1] - 'A' + 'a');
  return name.substr(1, name.size() - 2);
}

std::string UnicodeCharacters::Hex(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

std::optional<char32_t> UnicodeCharacters::ParseHex(std::string_view text, bool bare) {
  if (text.size() > 2 && (text[0] == 'U' || text[0] == 'u') && text[1] == '+')
    text.remove_prefix(2);
  else if (!bare)
    return std::nullopt;
  if (text.empty() || text.size() > 6) return std::nullopt;
  char32_t c = 0;
  for (const char digit : text) {
    const int value = digit >= '0' && digit <= '9'   ? digit - '0'
                      : digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                      : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                     : -1;
    if (value < 0) return std::nullopt;
    c = c * 16 + static_cast<char32_t>(value);
  }
  if (c > kLastCodePoint) return std::nullopt;
  return c;
}

void UnicodeCharacters::IndexNames() const {
  static std::once_flag once;
  std::call_once(once, [this] {
    names_.reserve(all_.size() * 28);
    nameStarts_.reserve(all_.size() + 1);
    for (const char32_t c : all_) {
      nameStarts_.push_back(static_cast<uint32_t>(names_.size()));
      names_ += Name(c);
      names_ += '\n';
    }
    nameStarts_.push_back(static_cast<uint32_t>(names_.size()));
  });
}

size_t UnicodeCharacters::NameAt(size_t at) const {
  const auto after = std::upper_bound(nameStarts_.begin(), nameStarts_.end(), at);
  return static_cast<size_t>(after - nameStarts_.begin()) - 1;
}

std::vector<char32_t> UnicodeCharacters::Search(std::string_view query) const {
  while (!query.empty() && query.front() == ' ') query.remove_prefix(1);
  while (!query.empty() && query.back() == ' ') query.remove_suffix(1);
  if (const auto c = ParseHex(query, false))
    return Offered(*c) ? std::vector<char32_t>{*c} : std::vector<char32_t>{};
  const std::vector<std::string> words = Words(query);
  if (words.empty()) return {};
  // Three ranks: every word whole and the name ending in one of them (the
  // plain letter, "GREEK SMALL LETTER SIGMA", before its variants), every
  // word whole, the rest.
  std::vector<char32_t> ranks[3];
  const auto bare = ParseHex(query, true);
  if (bare && Offered(*bare)) ranks[0].push_back(*bare);

  IndexNames();
  // The longest word finds the fewest places; each name it starts a word of
  // is then tested for all the words.
  const std::string& key = *std::max_element(
      words.begin(), words.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
  const std::string_view names = names_;
  for (size_t at = names.find(key); at != std::string_view::npos; at = names.find(key, at)) {
    if (!WordStart(names, at)) {
      ++at;
      continue;
    }
    const size_t i = NameAt(at);
    const std::string_view name =
        names.substr(nameStarts_[i], nameStarts_[i + 1] - nameStarts_[i] - 1);
    at = nameStarts_[i + 1];
    bool all = true, allWhole = true, last = false;
    for (const std::string& word : words) {
      const Match match = FindWord(name, word);
      all = all && match != Match::kNone;
      allWhole = allWhole && match == Match::kWhole;
      last = last || (name.ends_with(word) && WordStart(name, name.size() - word.size()));
    }
    if (all && !(bare && all_[i] == *bare)) ranks[!allWhole ? 2 : last ? 0 : 1].push_back(all_[i]);
  }
  for (int rank : {1, 2}) ranks[0].insert(ranks[0].end(), ranks[rank].begin(), ranks[rank].end());
  return ranks[0];
}

}  // namespace lorelist
