#include "generate.h"

#include <algorithm>
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

template <size_t N>
const char* Pick(Random& random, const char* const (&list)[N]) {
  return list[random.Between(0, N - 1)];
}

// Words up to roughly `length` characters; never ends with "-".
std::string Phrase(Random& random, int length, bool capital) {
  std::string text;
  while (static_cast<int>(text.size()) < length) {
    if (!text.empty()) text += ' ';
    text += kWords[random.Between(0, kWordCount - 1)];
  }
  if (capital && !text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] -= 32;
  return text;
}

std::string QuotationText(Random& random) {
  // Mostly a sentence or two; one in twenty runs past 200 characters.
  int length = random.Chance(5) ? static_cast<int>(random.Between(200, 480))
                                : static_cast<int>(random.Between(30, 150));
  return Phrase(random, length, true) + ".";
}

}  // namespace

void GenerateDatabase(Database& db, int64_t quotations, uint64_t seed) {
  Random random(seed);
  TreeStore& q = db.quotations;
  std::vector<HTREEITEM> leaves;
  leaves.reserve(static_cast<size_t>(quotations));
  int64_t made = 0;
  while (made < quotations) {
    std::string author = std::string(Pick(random, kFirstNames)) + " " + Pick(random, kLastNames);
    HTREEITEM a = q.InsertItem(author, nullptr, TVI_LAST);
    for (int64_t works = random.Between(1, 6); works > 0 && made < quotations; --works) {
      HTREEITEM w =
          q.InsertItem(Phrase(random, static_cast<int>(random.Between(8, 40)), true), a, TVI_LAST);
      for (int64_t n = random.Between(1, 30); n > 0 && made < quotations; --n, ++made)
        leaves.push_back(q.InsertItem(QuotationText(random), w, TVI_LAST));
    }
  }

  TreeStore& c = db.categories;
  const int64_t categoryTarget = std::max<int64_t>(1, quotations / 10);
  std::vector<HTREEITEM> categories;
  categories.reserve(static_cast<size_t>(categoryTarget));
  auto addCategory = [&](HTREEITEM parent) {
    HTREEITEM node = c.InsertItem(Phrase(random, static_cast<int>(random.Between(4, 30)), true),
                                  parent, TVI_LAST);
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
                           : Phrase(random, static_cast<int>(random.Between(3, 24)), false));
  }

  // A fifth as many subject entries, some of them shared between categories.
  std::vector<std::string> recent;
  for (int64_t i = 0; i < quotations / 5; ++i) {
    HTREEITEM category = categories[random.Between(0, static_cast<int64_t>(categories.size()) - 1)];
    std::string entry =
        (!recent.empty() && random.Chance(10))
            ? recent[random.Between(0, static_cast<int64_t>(recent.size()) - 1)]
            : Phrase(random, static_cast<int>(random.Between(3, 28)), random.Chance(50));
    if (recent.size() < 64)
      recent.push_back(entry);
    else
      recent[random.Between(0, 63)] = entry;
    db.AppendSubjectUnsorted(category, entry);
  }
  db.SortSubjects();
}

}  // namespace lorelist
