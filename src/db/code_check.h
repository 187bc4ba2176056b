#pragma once

#include <string_view>

namespace lorelist {

// A tree holds levels 0 to kMaxLevels - 1.
constexpr int kMaxLevels = 25;

// What checking a node code makes of it, in the order the tests run.
enum class CodeVerdict {
  kAccepted,
  kOmitted,
  kZeroComponent,
  kFinalDoesNotIncrement,
  kInteriorMovesOn,
  kSpuriousCharacter,
  kTooManyLevels,
};

// The fixed text that starts the message for a rejected code.
const char* VerdictMessage(CodeVerdict verdict);

// A code read once: its numbers and what kind of code it is.
struct ParsedCode {
  int numbers[kMaxLevels];
  int count = 0;
  // Digits and dots only, every number above 0, at most 25 of them: the
  // codes some counters accept.
  bool wellFormed = false;
  // Also without leading zeros: as the writer writes codes.
  bool canonical = false;

  explicit ParsedCode(std::string_view code);
};

// Checks the codes of one section of the file, line by line: each must
// number the next node in pre-order, at most 25 levels deep.
class CodeChecker {
 public:
  void StartSection();
  CodeVerdict Check(std::string_view code);
  // For a code read already: Accepts gives only the verdict's yes or no.
  bool Accepts(const ParsedCode& code);
  // Puts the counters where accepting the code would leave them, without
  // checking it against what came before; false for a code no counters
  // accept (a missing or zero number, a stray character, over 25 levels).
  bool AssumeAccepted(const ParsedCode& code);
  // The level of the last code accepted (-1 at the start of a section).
  int CurrentLevel() const { return level_; }
  // Counter k: the number at level k of the last accepted code, so the
  // counters 0 to CurrentLevel() spell its code without leading zeros.
  int Counter(int k) const { return counters_[k]; }

 private:
  int counters_[kMaxLevels] = {};
  int level_ = -1;
};

// Decimal value of a run of digits, saturating instead of overflowing.
int ReadNumber(std::string_view digits);

// A node line's rest, after the tag: the code up to the first blank, then the
// text after skipping exactly one more character.
void SplitNodeLine(std::string_view rest, std::string_view& code, std::string_view& text);

// True when the code is written as the writer writes codes: numbers without
// leading zeros, none zero, joined by single dots.
bool IsCanonicalCode(std::string_view code);

}  // namespace lorelist
