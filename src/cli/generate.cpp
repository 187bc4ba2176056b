#include "generate.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace lorelist {

namespace {

// splitmix64: the same numbers on every platform and library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  int64_t Between(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(Next() % static_cast<uint64_t>(high - low + 1));
  }
  bool Chance(int percent) { return Between(1, 100) <= percent; }

 private:
  uint64_t state_;
};

// Words in Windows-1252; a few carry accented letters.
const char* const kWords[] = {
    "the",
    "of",
    "and",
    "to",
    "in",
    "a",
    "is",
    "that",
    "for",
    "it",
    "as",
    "was",
    "with",
    "be",
    "by",
    "on",
    "not",
    "he",
    "this",
    "are",
    "or",
    "his",
    "from",
    "at",
    "which",
    "but",
    "have",
    "an",
    "they",
    "you",
    "were",
    "their",
    "one",
    "all",
    "we",
    "can",
    "her",
    "has",
    "there",
    "been",
    "if",
    "more",
    "when",
    "will",
    "would",
    "who",
    "so",
    "no",
    "time",
    "love",
    "man",
    "world",
    "life",
    "nature",
    "truth",
    "reason",
    "virtue",
    "wisdom",
    "death",
    "soul",
    "heart",
    "mind",
    "art",
    "war",
    "peace",
    "liberty",
    "fortune",
    "glory",
    "memory",
    "silence",
    "friend",
    "enemy",
    "god",
    "beauty",
    "justice",
    "power",
    "hope",
    "fear",
    "youth",
    "age",
    "caf\xE9",
    "na\xEFve",
    "r\xE9sum\xE9",
    "fa\xE7"
    "ade",
    "se\xF1or",
    "M\xFCller",
    "\xE0",
    "d\xE9j\xE0",
    "\xE9t\xE9",
    "co\xF6perate",
    "\x93quoted\x94",
    "\x85",
};
constexpr int kWordCount = sizeof kWords / sizeof kWords[0];

// The same words in UTF-8, one for one, in several scripts: Latin with
// diacritics, Greek, Cyrillic, Hebrew, Arabic, a little CJK.
const char* const kUtf8Words[] = {
    "la",    "de",       "et",       "à",        "en",     "un",       "est",    "que",
    "pour",  "il",       "comme",    "était",    "avec",   "être",     "par",    "sur",
    "καὶ",   "τοῦ",      "ἡ",        "ὁ",        "τὸ",     "ἐν",       "и",      "в",
    "не",    "на",       "что",      "с",        "как",    "של",       "את",     "על",
    "לא",    "في",       "من",       "على",      "ال",     "時間",     "愛",     "naïve",
    "café",  "résumé",   "façade",   "señor",    "Müller", "déjà",     "été",    "coöperate",
    "łza",   "żółw",     "ćma",      "straße",   "øre",    "ångström", "ğün",    "şarkı",
    "čas",   "χρόνος",   "ἀγάπη",    "ἄνθρωπος", "κόσμος", "βίος",     "φύσις",  "ἀλήθεια",
    "λόγος", "ἀρετή",    "σοφία",    "θάνατος",  "ψυχή",   "сердце",   "разум",  "искусство",
    "война", "мир",      "свобода",  "судьба",   "слава",  "память",   "тишина", "друг",
    "враг",  "אלהים",    "יופי",     "צדק",      "כוח",    "תקווה",    "خوف",    "شباب",
    "عمر",   "«цитата»", "“quoted”", "…"};
static_assert(sizeof kUtf8Words == sizeof kWords);
// One time in sixteen, this word is an emoji: rare, as in real texts.
constexpr int kEmojiWord = 15;
constexpr const char* kEmoji = "🌹";

const char* const kFirstNames[] = {"Marcus", "Jean",   "Blaise", "Fran\xE7ois", "Johann",
                                   "Anne",   "Mary",   "Lucius", "Ren\xE9",     "Emily",
                                   "Samuel", "Thomas", "Jane",   "Michel",      "Dante"};
const char* const kLastNames[] = {"Aurelius",  "Pascal",       "de La Rochefoucauld",
                                  "Goethe",    "Shelley",      "Seneca",
                                  "Descartes", "Dickinson",    "Johnson",
                                  "Browne",    "Austen",       "Montaigne",
                                  "Alighieri", "Voltaire",     "Bront\xEB",
                                  "Cicero",    "Epict\xE8tos", "Erasmus",
                                  "Milton",    "Swift"};

const char* const kUtf8FirstNames[] = {"Marcus", "Jean", "Блез",   "François", "Ἰωάννης",
                                       "Anne",   "מרים", "Lucius", "René",     "Émilie",
                                       "Samuel", "Фома", "Jane",   "Michel",   "Dante"};
static_assert(sizeof kUtf8FirstNames == sizeof kFirstNames);
const char* const kUtf8LastNames[] = {"Aurelius",  "Pascal",    "de La Rochefoucauld",
                                      "Goethe",    "Шелли",     "Seneca",
                                      "Descartes", "Dickinson", "ابن رشد",
                                      "Browne",    "Остин",     "Montaigne",
                                      "Alighieri", "Voltaire",  "Brontë",
                                      "Cicero",    "Ἐπίκτητος", "Erasmus",
                                      "孔子",      "בן עזאי"};
static_assert(sizeof kUtf8LastNames == sizeof kLastNames);

// Writes the texts of one encoding. The lists are drawn from as the
// Windows-1252 ones, and phrases measured by those, whatever the encoding:
// the same draws, so the same tree, references and entries.
class Texts {
 public:
  Texts(Random& random, Encoding encoding) : random_(random), utf8_(encoding == Encoding::kUtf8) {}

  template <size_t N>
  const char* Pick(const char* const (&list)[N], const char* const (&utf8)[N]) {
    const auto i = random_.Between(0, N - 1);
    return utf8_ ? utf8[i] : list[i];
  }

  // Words up to roughly `length` characters; never ends with "-".
  std::string Phrase(int length, bool capital) {
    std::string text;
    for (size_t measured = 0; static_cast<int>(measured) < length;) {
      if (measured) {
        text += ' ';
        ++measured;
      }
      const uint64_t draw = random_.Next();
      const auto i = static_cast<int>(draw % kWordCount);  // as Between(0, kWordCount - 1)
      measured += std::strlen(kWords[i]);
      if (!utf8_)
        text += kWords[i];
      else
        text += i == kEmojiWord && draw / kWordCount % 16 == 0 ? kEmoji : kUtf8Words[i];
    }
    if (capital && !text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] -= 32;
    return text;
  }

  std::string Quotation() {
    // Mostly a sentence or two; one in twenty runs past 200 characters.
    int length = random_.Chance(5) ? static_cast<int>(random_.Between(200, 480))
                                   : static_cast<int>(random_.Between(30, 150));
    return Phrase(length, true) + ".";
  }

 private:
  Random& random_;
  bool utf8_;
};

}  // namespace

void GenerateDatabase(Database& db, int64_t quotations, uint64_t seed, Encoding encoding) {
  Random random(seed);
  Texts texts(random, encoding);
  db.encoding = encoding;  // before the subject index sorts
  TreeStore& q = db.quotations;
  std::vector<HTREEITEM> leaves;
  leaves.reserve(static_cast<size_t>(quotations));
  int64_t made = 0;
  while (made < quotations) {
    std::string author = std::string(texts.Pick(kFirstNames, kUtf8FirstNames)) + " " +
                         texts.Pick(kLastNames, kUtf8LastNames);
    HTREEITEM a = q.InsertItem(author, nullptr, TVI_LAST);
    for (int64_t works = random.Between(1, 6); works > 0 && made < quotations; --works) {
      HTREEITEM w =
          q.InsertItem(texts.Phrase(static_cast<int>(random.Between(8, 40)), true), a, TVI_LAST);
      for (int64_t n = random.Between(1, 30); n > 0 && made < quotations; --n, ++made)
        leaves.push_back(q.InsertItem(texts.Quotation(), w, TVI_LAST));
    }
  }

  TreeStore& c = db.categories;
  const int64_t categoryTarget = std::max<int64_t>(1, quotations / 10);
  std::vector<HTREEITEM> categories;
  categories.reserve(static_cast<size_t>(categoryTarget));
  auto addCategory = [&](HTREEITEM parent) {
    HTREEITEM node =
        c.InsertItem(texts.Phrase(static_cast<int>(random.Between(4, 30)), true), parent, TVI_LAST);
    db.AttachRecord(node);
    categories.push_back(node);
    return node;
  };
  while (static_cast<int64_t>(categories.size()) < categoryTarget) {
    HTREEITEM top = addCategory(nullptr);
    for (int64_t i = random.Between(2, 6); i > 0; --i) {
      HTREEITEM second = addCategory(top);
      for (int64_t j = random.Between(1, 4); j > 0; --j) {
        HTREEITEM third = addCategory(second);
        for (int64_t k = random.Between(0, 3); k > 0; --k) addCategory(third);
      }
    }
  }

  // About one reference per quotation, spread over the categories.
  for (int64_t i = 0; i < quotations && !leaves.empty(); ++i) {
    HTREEITEM category = categories[random.Between(0, static_cast<int64_t>(categories.size()) - 1)];
    HTREEITEM target = leaves[random.Between(0, static_cast<int64_t>(leaves.size()) - 1)];
    db.AppendReference(*db.Record(category), target,
                       random.Chance(30)
                           ? std::string()
                           : texts.Phrase(static_cast<int>(random.Between(3, 24)), false));
  }

  // A fifth as many subject entries, some of them shared between categories.
  std::vector<std::string> recent;
  for (int64_t i = 0; i < quotations / 5; ++i) {
    HTREEITEM category = categories[random.Between(0, static_cast<int64_t>(categories.size()) - 1)];
    std::string entry =
        (!recent.empty() && random.Chance(10))
            ? recent[random.Between(0, static_cast<int64_t>(recent.size()) - 1)]
            : texts.Phrase(static_cast<int>(random.Between(3, 28)), random.Chance(50));
    if (recent.size() < 64)
      recent.push_back(entry);
    else
      recent[random.Between(0, 63)] = entry;
    db.AppendSubjectUnsorted(category, entry);
  }
  db.SortSubjects();
}

}  // namespace lorelist
