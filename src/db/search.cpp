#include "search.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace lorelist {

namespace {

// UTF-8 texts are compared in a form of their own: the canonical
// decomposition (NFD), each code point of which is a unit, and without
// regard to case each unit's full case folding (ICU's, itself in NFD): the
// canonical caseless match of Unicode, worked out a code point at a time from
// tables filled on first use.
enum Form { kExact, kFolded };

// A unit: the bytes it gives in the form (a folding may give several
// characters: ß gives "ss"), its canonical combining class (the marks after
// a character are put in canonical order) and whether it belongs to the
// character before it (a mark, a Hangul vowel or final consonant), in front
// of which no match ends.
struct UnitText {
  std::string bytes;
  uint8_t combiningClass;
  bool extends;
};

// An ICU function that writes a string, called again when it needs more room.
template <class Call>
std::u16string IcuString(Call call) {
  std::u16string out(16, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = call(out.data(), static_cast<int32_t>(out.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<size_t>(length));
    status = U_ZERO_ERROR;
    length = call(out.data(), length, &status);
  }
  if (U_FAILURE(status)) throw std::runtime_error("ICU cannot decompose or fold a text");
  out.resize(static_cast<size_t>(length));
  return out;
}

const UNormalizer2* Nfd() {
  static const UNormalizer2* nfd = [] {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* normalizer = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status)) throw std::runtime_error("cannot open ICU's canonical decomposition");
    return normalizer;
  }();
  return nfd;
}

std::u16string Decomposed(const std::u16string& text) {
  return IcuString([&](UChar* out, int32_t room, UErrorCode* status) {
    return unorm2_normalize(Nfd(), text.data(), static_cast<int32_t>(text.size()), out, room,
                            status);
  });
}

std::u16string Utf16(UChar32 c) {
  std::u16string s;
  if (c < 0x10000) {
    s += static_cast<char16_t>(c);
  } else {
    s += static_cast<char16_t>(U16_LEAD(c));
    s += static_cast<char16_t>(U16_TRAIL(c));
  }
  return s;
}

void AppendUtf16AsUtf8(std::string& out, const std::u16string& text) {
  for (size_t i = 0; i < text.size();) {
    UChar32 c;
    U16_NEXT(text.data(), i, text.size(), c);
    AppendUtf8(out, static_cast<char32_t>(c));
  }
}

// A UTF-8 text composed (NFC).
std::string Composed(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  if (U_FAILURE(status)) throw std::runtime_error("cannot open ICU's canonical composition");
  std::u16string decoded;
  for (size_t at = 0; at < text.size();)
    decoded += Utf16(static_cast<UChar32>(NextCodePoint(text, at)));
  std::string composed;
  AppendUtf16AsUtf8(composed, IcuString([&](UChar* out, int32_t room, UErrorCode* error) {
                      return unorm2_normalize(nfc, decoded.data(),
                                              static_cast<int32_t>(decoded.size()), out, room,
                                              error);
                    }));
  return composed;
}

// The units of one code point, worked out with ICU.
std::vector<UnitText> UnitsOf(char32_t ch, Form form) {
  auto c = static_cast<UChar32>(ch);
  if (c > 0x10FFFF || U_IS_SURROGATE(c)) c = 0xFFFD;  // as a byte that cannot be read
  std::vector<UnitText> units;
  const std::u16string decomposed = Decomposed(Utf16(c));
  for (size_t i = 0; i < decomposed.size();) {
    UChar32 u;
    U16_NEXT(decomposed.data(), i, decomposed.size(), u);
    UnitText& unit = units.emplace_back();
    unit.combiningClass = u_getCombiningClass(u);
    const int syllable = u_getIntPropertyValue(u, UCHAR_HANGUL_SYLLABLE_TYPE);
    unit.extends = unit.combiningClass != 0 || (U_GET_GC_MASK(u) & U_GC_M_MASK) != 0 ||
                   syllable == U_HST_VOWEL_JAMO || syllable == U_HST_TRAILING_JAMO;
    if (form == kFolded && u_hasBinaryProperty(u, UCHAR_CHANGES_WHEN_CASEFOLDED)) {
      const std::u16string one = Utf16(u);
      AppendUtf16AsUtf8(
          unit.bytes, Decomposed(IcuString([&](UChar* out, int32_t room, UErrorCode* status) {
            return u_strFoldCase(out, room, one.data(), static_cast<int32_t>(one.size()),
                                 U_FOLD_CASE_DEFAULT, status);
          })));
    } else {
      AppendUtf8(unit.bytes, static_cast<char32_t>(u));
    }
  }
  return units;
}

// Marks of the form's bytes: a match may start at a unit, and end in front
// of one that does not extend the character before it, or at the end.
constexpr char kStart = 1, kEnd = 2;

// The units of 256 code points, packed.
struct Unit {
  uint16_t offset;  // in Page::bytes
  uint8_t length;
  uint8_t combiningClass;
  bool extends;
};
struct Page {
  std::array<uint16_t, 257> first;  // code point i's units: from first[i] to first[i + 1]
  std::vector<Unit> units;
  std::string bytes;
  std::string marks;  // of each byte, as ToForm marks them
};

// The pages of both forms, each made the first time a text needs it and
// kept for the run; texts are compared on several threads at once.
class UnitTable {
 public:
  static UnitTable& Instance() {
    static UnitTable table;
    return table;
  }

  const Page& PageOf(char32_t c, Form form) {
    const Page* page = pages_[form][c >> 8].load(std::memory_order_acquire);
    return page ? *page : Make(c >> 8, form);
  }

 private:
  const Page& Make(char32_t index, Form form) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::atomic<const Page*>& slot = pages_[form][index];
    if (const Page* page = slot.load(std::memory_order_relaxed)) return *page;
    auto page = std::make_unique<Page>();
    for (char32_t i = 0; i < 256; ++i) {
      page->first[i] = static_cast<uint16_t>(page->units.size());
      for (const UnitText& made : UnitsOf(index << 8 | i, form)) {
        page->units.push_back(Unit{static_cast<uint16_t>(page->bytes.size()),
                                   static_cast<uint8_t>(made.bytes.size()), made.combiningClass,
                                   made.extends});
        page->bytes += made.bytes;
        page->marks += made.extends ? kStart : static_cast<char>(kStart | kEnd);
        page->marks.append(made.bytes.size() - 1, '\0');
      }
    }
    page->first[256] = static_cast<uint16_t>(page->units.size());
    slot.store(page.get(), std::memory_order_release);
    return *owned_.emplace_back(std::move(page));
  }

  std::atomic<const Page*> pages_[2][0x110000 >> 8] = {};
  std::mutex mutex_;
  std::vector<std::unique_ptr<Page>> owned_;
};

// The code point at `at`, which moves past it: the usual two- and
// three-byte sequences read here, the rest by NextCodePoint.
inline char32_t Decode(std::string_view text, size_t& at) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + at;
  const size_t left = text.size() - at;
  if (left >= 2 && p[0] >= 0xC2 && p[0] < 0xE0 && (p[1] & 0xC0) == 0x80) {
    at += 2;
    return static_cast<char32_t>((p[0] & 0x1F) << 6 | (p[1] & 0x3F));
  }
  // E0 and ED have narrower second bytes: left to NextCodePoint.
  if (left >= 3 && p[0] > 0xE0 && p[0] < 0xF0 && p[0] != 0xED && (p[1] & 0xC0) == 0x80 &&
      (p[2] & 0xC0) == 0x80) {
    at += 3;
    return static_cast<char32_t>((p[0] & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
  }
  return NextCodePoint(text, at);
}

// A text in the form, with a mark for each byte and one for its end.
void ToForm(std::string_view text, Form form, std::string& out, std::string& marks) {
  UnitTable& table = UnitTable::Instance();
  out.clear();
  marks.clear();
  // The marks after a character, to be put in canonical order.
  struct Mark {
    const Page* page;
    const Unit* unit;
  };
  thread_local std::vector<Mark> run;
  run.clear();
  auto put = [&](const Page& page, const Unit& unit) {
    out.append(page.bytes, unit.offset, unit.length);
    marks.append(page.marks, unit.offset, unit.length);
  };
  auto flush = [&] {
    // A stable insertion sort: runs of marks are short.
    for (size_t i = 1; i < run.size(); ++i)
      for (size_t j = i; j > 0 && run[j - 1].unit->combiningClass > run[j].unit->combiningClass;
           --j)
        std::swap(run[j - 1], run[j]);
    for (const Mark& mark : run) put(*mark.page, *mark.unit);
    run.clear();
  };
  for (size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      // A run of ASCII, each byte a unit of its own, taken whole.
      if (!run.empty()) flush();
      size_t end = at + 1;
      while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
      const size_t start = out.size();
      out.append(text, at, end - at);
      marks.append(end - at, static_cast<char>(kStart | kEnd));
      if (form == kFolded)
        for (size_t i = start; i < out.size(); ++i)
          if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + 32);
      at = end;
      continue;
    }
    const char32_t c = Decode(text, at);
    const Page& page = table.PageOf(c, form);
    for (size_t i = page.first[c & 0xFF]; i < page.first[(c & 0xFF) + 1]; ++i) {
      const Unit& unit = page.units[i];
      if (unit.combiningClass != 0) {
        run.push_back(Mark{&page, &unit});
      } else {
        if (!run.empty()) flush();
        put(page, unit);
      }
    }
  }
  flush();
  marks += kEnd;
}

// Whether the character at `at` starts with a unit that belongs to the
// character before it.
bool ExtendsBefore(std::string_view text, size_t at, Form form) {
  const char32_t c = NextCodePoint(text, at);
  const Page& page = UnitTable::Instance().PageOf(c, form);
  return page.units[page.first[c & 0xFF]].extends;
}

// The code points whose form is not the code point itself: those that
// decompose, and those that case folding changes (Hangul syllables, which
// decompose by rule, are left to AddHangulWith). Each with its form, and the
// units by which a match of an ASCII pattern may enter it: a unit that gives
// ASCII, followed by units that do up to the last or up to one that does not
// extend. Such a match holds that unit's ASCII whole.
struct Candidate {
  char32_t codePoint;
  std::string form[2];
  std::vector<std::string> ascii[2];
};

const std::vector<Candidate>& Candidates() {
  static const std::vector<Candidate> candidates = [] {
    UErrorCode status = U_ZERO_ERROR;
    USet* set = uset_openPattern(
        u"[[:NFD_QC=N:][:Changes_When_Casefolded:]-[:Hangul_Syllable_Type=LV:]"
        u"-[:Hangul_Syllable_Type=LVT:]]",
        -1, &status);
    if (U_FAILURE(status)) throw std::runtime_error("cannot open an ICU set of characters");
    std::vector<Candidate> list;
    for (int32_t item = 0; item < uset_getItemCount(set); ++item) {
      UChar32 first, last;
      status = U_ZERO_ERROR;
      if (uset_getItem(set, item, &first, &last, nullptr, 0, &status) != 0) continue;  // a string
      for (UChar32 c = first; c <= last; ++c) {
        Candidate& candidate = list.emplace_back();
        candidate.codePoint = static_cast<char32_t>(c);
        for (Form form : {kExact, kFolded}) {
          const std::vector<UnitText> units = UnitsOf(candidate.codePoint, form);
          for (size_t j = 0; j < units.size(); ++j) {
            candidate.form[form] += units[j].bytes;
            for (size_t k = j; k < units.size() && IsAscii(units[k].bytes); ++k) {
              if (k + 1 == units.size() || !units[k + 1].extends) {
                candidate.ascii[form].push_back(units[j].bytes);
                break;
              }
            }
          }
        }
      }
    }
    uset_close(set);
    return list;
  }();
  return candidates;
}

// Tells whether a text holds any of a set of code points, the cheapest way
// the set allows: a few members by memchr on their last bytes; more by
// reading the characters of the text beyond ASCII, and its ASCII too when
// the set holds some.
class CodePointSet {
 public:
  CodePointSet() : bits_(0x10000 / 64) {}

  void Add(char32_t c) {
    if (Has(c)) return;
    if (c < 0x10000)
      bits_[c / 64] |= uint64_t{1} << (c % 64);
    else
      beyond_.push_back(c);
    if (c < 0x80) ascii_ = true;
    std::string bytes;
    AppendUtf8(bytes, c);
    members_.push_back(bytes);
  }

  // Chooses how to look; `members_` is kept only when few.
  void Prepare() {
    for (const std::string& member : members_) {
      const auto last = static_cast<unsigned char>(member.back());
      if (std::find(lastBytes_.begin(), lastBytes_.end(), last) == lastBytes_.end())
        lastBytes_.push_back(last);
    }
    few_ = lastBytes_.size() <= 3;
    if (!few_) {
      members_.clear();
      lastBytes_.clear();
    }
  }

  bool FoundIn(std::string_view text) const {
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    if (few_) {
      for (const unsigned char last : lastBytes_) {
        for (const unsigned char* at = t; at < t + size; ++at) {
          at = static_cast<const unsigned char*>(
              std::memchr(at, last, static_cast<size_t>(t + size - at)));
          if (!at) break;
          const size_t end = static_cast<size_t>(at - t) + 1;
          for (const std::string& member : members_)
            if (member.size() <= end &&
                text.compare(end - member.size(), member.size(), member) == 0)
              return true;
        }
      }
      return false;
    }
    size_t at = 0;
    return Next(text, at) != std::string_view::npos;
  }

  // Where the next member starts in the text from `at` on (npos: none),
  // `at` then past it.
  size_t Next(std::string_view text, size_t& at) const {
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    while (at < size) {
      if (!ascii_) {
        // Plain ASCII, eight bytes at a time, holds none of the members.
        while (at + 8 <= size) {
          uint64_t word;
          std::memcpy(&word, t + at, 8);
          if (word & 0x8080808080808080ULL) break;
          at += 8;
        }
        while (at < size && t[at] < 0x80) ++at;
        if (at == size) break;
      }
      const size_t start = at;
      if (t[at] < 0x80) {
        if (Has(t[at++])) return start;
      } else if (t[at] >= 0xC2 && t[at] < 0xE0 && at + 1 < size && (t[at + 1] & 0xC0) == 0x80) {
        // Two bytes, most letters beyond ASCII: decoded here.
        const char32_t c = static_cast<char32_t>((t[at] & 0x1F) << 6 | (t[at + 1] & 0x3F));
        at += 2;
        if (Has(c)) return start;
      } else if (Has(NextCodePoint(text, at))) {
        return start;
      }
    }
    return std::string_view::npos;
  }

 private:
  bool Has(char32_t c) const {
    if (c < 0x10000) return (bits_[c / 64] >> (c % 64)) & 1;
    return std::find(beyond_.begin(), beyond_.end(), c) != beyond_.end();
  }

  std::vector<uint64_t> bits_;  // the members below U+10000
  std::vector<char32_t> beyond_;
  bool ascii_ = false;
  bool few_ = false;
  std::vector<std::string> members_;  // in UTF-8, when few
  std::vector<unsigned char> lastBytes_;
};

// The Hangul syllables whose decomposition holds the jamo: by rule, 19
// leading consonants by 21 vowels by 28 finals (none the first).
void AddHangulWith(char32_t jamo, CodePointSet& set) {
  constexpr char32_t kSyllables = 0xAC00, kLeads = 0x1100, kVowels = 0x1161, kFinals = 0x11A7;
  for (char32_t syllable = 0; syllable < 19 * 21 * 28; ++syllable) {
    const char32_t lead = kLeads + syllable / (21 * 28), vowel = kVowels + syllable / 28 % 21,
                   final = syllable % 28 ? kFinals + syllable % 28 : 0;
    if (jamo == lead || jamo == vowel || jamo == final) set.Add(kSyllables + syllable);
  }
}

// The code points whose form holds `c` (in UTF-8): one of them is in every
// text that matches a pattern whose form holds it.
CodePointSet SourcesOf(std::string_view c, Form form) {
  CodePointSet set;
  size_t at = 0;
  const char32_t ch = NextCodePoint(c, at);
  set.Add(ch);
  for (const Candidate& candidate : Candidates())
    if (candidate.form[form].find(c) != std::string::npos) set.Add(candidate.codePoint);
  if (ch >= 0x1100 && ch < 0x11C3) AddHangulWith(ch, set);
  set.Prepare();
  return set;
}

}  // namespace

// The UTF-8 part of a matcher. A pattern whose form is ASCII is searched as
// bytes, which finds every match made of the text's ASCII characters; only a
// text that also holds a character beyond ASCII able to give some of its
// letters (K, the Kelvin sign, gives k; ß gives ss) is then put in the form.
// Any other pattern needs in the text a character that gives its first code
// point beyond ASCII (the anchor: for "été" the acute, from é, É or the mark
// itself); it is then looked for as texts mostly hold it, composed, as
// bytes, and only the text around each such character is put in the form.
struct TextMatcher::Unicode {
  Form form;
  bool ascii;
  // ASCII: the characters beyond ASCII that give some of the pattern's.
  CodePointSet sources;
  // Beyond ASCII: the pattern's first code point beyond ASCII (its anchor),
  // where it stands among the pattern's code points, how many they are, and
  // the characters whose form holds it. Only the text around those is put
  // in the form.
  CodePointSet anchor;
  size_t anchorAt = 0;
  size_t length = 0;
  // The form composed (NFC), whose form is the pattern's: found ending where
  // a character of the text ends, it is a match. Empty when the pattern
  // starts with a mark, which marks of the text before it may follow in
  // canonical order.
  std::string composed;
};

TextMatcher::TextMatcher(std::string_view pattern, bool caseSignificant, Encoding encoding)
    : caseSignificant_(caseSignificant) {
  const bool utf8 = encoding == Encoding::kUtf8;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    fold_[b] = caseSignificant ? byte
               : utf8          ? (byte >= 'A' && byte <= 'Z' ? byte + 32 : byte)
                               : UpperCp1252(byte);
  }
  if (utf8) {
    auto unicode = std::make_shared<Unicode>();
    unicode->form = caseSignificant ? kExact : kFolded;
    std::string marks;
    ToForm(pattern, unicode->form, pattern_, marks);
    unicode->ascii = IsAscii(pattern_);
    if (unicode->ascii) {
      CodePointSet& sources = unicode->sources;
      for (const Candidate& candidate : Candidates()) {
        if (candidate.codePoint < 0x80) continue;  // the byte search finds ASCII
        for (const std::string& ascii : candidate.ascii[unicode->form])
          if (pattern_.find(ascii) != std::string::npos) sources.Add(candidate.codePoint);
      }
      sources.Prepare();
    } else {
      if (marks[0] & kEnd) unicode->composed = Composed(pattern_);
      bool anchored = false;
      for (size_t at = 0; at < pattern_.size(); ++unicode->length) {
        const size_t start = at;
        NextCodePoint(pattern_, at);
        if (static_cast<unsigned char>(pattern_[start]) >= 0x80 && !anchored) {
          anchored = true;
          unicode->anchor =
              SourcesOf(std::string_view(pattern_).substr(start, at - start), unicode->form);
          unicode->anchorAt = unicode->length;
        }
      }
    }
    unicode_ = std::move(unicode);
  } else {
    pattern_ = pattern;
  }
  for (char& c : pattern_) c = static_cast<char>(fold_[static_cast<unsigned char>(c)]);
  if (!pattern_.empty()) {
    for (int b = 0; b < 256; ++b) {
      if (fold_[b] != static_cast<unsigned char>(pattern_[0])) continue;
      if (firstCount_ == 4) {
        firstCount_ = 0;  // too many to look for one by one
        break;
      }
      firsts_[firstCount_++] = static_cast<unsigned char>(b);
    }
  }
}

bool TextMatcher::RestMatches(const unsigned char* at) const {
  const auto* p = reinterpret_cast<const unsigned char*>(pattern_.data());
  for (size_t j = 1; j < pattern_.size(); ++j)
    if (fold_[at[j]] != p[j]) return false;
  return true;
}

// Each place where the pattern's bytes occur, its end given to `accept`
// until it takes one.
template <class Accept>
bool TextMatcher::FindBytes(std::string_view text, Accept accept) const {
  if (pattern_.empty()) return true;
  const size_t length = pattern_.size();
  if (caseSignificant_) {
    for (size_t at = text.find(pattern_); at != std::string_view::npos;
         at = text.find(pattern_, at + 1))
      if (accept(at + length)) return true;
    return false;
  }
  if (text.size() < length) return false;
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  const size_t span = text.size() - length + 1;  // where a match may start
  if (firstCount_ > 0) {
    // Each byte that can start a match, found with memchr.
    for (int f = 0; f < firstCount_; ++f) {
      for (const unsigned char* at = t; at < t + span;) {
        at = static_cast<const unsigned char*>(
            std::memchr(at, firsts_[f], static_cast<size_t>(t + span - at)));
        if (!at) break;
        if (RestMatches(at) && accept(static_cast<size_t>(at - t) + length)) return true;
        ++at;
      }
    }
    return false;
  }
  const auto first = static_cast<unsigned char>(pattern_[0]);
  for (size_t i = 0; i < span; ++i)
    if (fold_[t[i]] == first && RestMatches(t + i) && accept(i + length)) return true;
  return false;
}

bool TextMatcher::Matches(std::string_view text) const {
  if (!unicode_) return FindBytes(text, [](size_t) { return true; });
  const Unicode& unicode = *unicode_;
  // A match as the text holds it ends in front of what does not extend its
  // last character.
  auto extends = [&](size_t at) {
    return at < text.size() && static_cast<unsigned char>(text[at]) >= 0x80 &&
           ExtendsBefore(text, at, unicode.form);
  };
  // Whether a part of the text that begins and ends between characters
  // holds the pattern in the form: the part's form is that of the text there.
  auto inForm = [&](std::string_view part) {
    thread_local std::string form, marks;
    ToForm(part, unicode.form, form, marks);
    bool found = false;
    for (size_t at = form.find(pattern_); at != std::string::npos && !found;
         at = form.find(pattern_, at + 1))
      found = (marks[at] & kStart) && (marks[at + pattern_.size()] & kEnd);
    if (form.capacity() > (size_t{1} << 20)) {
      form = {};  // one huge text must not keep its memory for good
      marks = {};
    }
    return found;
  };
  if (unicode.ascii) {
    if (FindBytes(text, [&](size_t end) { return !extends(end); })) return true;
    return unicode.sources.FoundIn(text) && inForm(text);
  }
  size_t next = 0;
  size_t anchor = unicode.anchor.Next(text, next);
  if (anchor == std::string_view::npos) return false;
  const std::string& composed = unicode.composed;
  if (!composed.empty())
    for (size_t at = text.find(composed); at != std::string_view::npos;
         at = text.find(composed, at + 1))
      if (!extends(at + composed.size())) return true;
  // A match holds a character whose form holds the anchor. Each character
  // gives at least one code point of the form, so the match lies within the
  // anchor's place in the pattern of characters before it and the rest of
  // the pattern's after it, widened to whole characters with their marks.
  auto back = [&](size_t at) {
    do --at;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
    return at;
  };
  for (; anchor != std::string_view::npos; anchor = unicode.anchor.Next(text, next)) {
    size_t start = anchor;
    for (size_t k = 0; k < unicode.anchorAt && start > 0; ++k) start = back(start);
    while (start > 0 && extends(start)) start = back(start);
    size_t end = anchor;
    for (size_t k = unicode.anchorAt; k <= unicode.length && end < text.size(); ++k)
      NextCodePoint(text, end);
    while (extends(end)) NextCodePoint(text, end);
    if (inForm(text.substr(start, end - start))) return true;
  }
  return false;
}

HTREEITEM SearchTree(const TreeStore& tree, HTREEITEM start, bool testStart,
                     const TextMatcher& matcher) {
  HTREEITEM node = start;
  if (!node) return nullptr;
  bool advance = !testStart;
  for (;;) {
    // The end of the walk ends the search: the node the climb stops on came
    // before the start and is not tested again.
    if (advance && NextNode(node, tree) == kEndOfWalk) return nullptr;
    advance = true;
    if (matcher.Matches(tree.GetItemText(node))) return node;
  }
}

}  // namespace lorelist
