#include "code_check.h"

#include <climits>

namespace lorelist {

namespace {
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
}  // namespace

const char* VerdictMessage(CodeVerdict verdict) {
  switch (verdict) {
    case CodeVerdict::kAccepted:
      return "";
    case CodeVerdict::kOmitted:
      return "Code omitted: ";
    case CodeVerdict::kZeroComponent:
      return "Code has zero component: ";
    case CodeVerdict::kFinalDoesNotIncrement:
      return "Final number does not increment by 1: ";
    case CodeVerdict::kInteriorMovesOn:
      return "Code interior moves on: ";
    case CodeVerdict::kSpuriousCharacter:
      return "Code contains spurious character: ";
    case CodeVerdict::kTooManyLevels:
      return "More than 25 levels: ";
  }
  return "";
}

void CodeChecker::StartSection() {
  level_ = -1;
  counters_[0] = 0;
}

CodeVerdict CodeChecker::Check(std::string_view code) {
  if (code.empty()) return CodeVerdict::kOmitted;
  int k = 0;
  for (;;) {
    size_t digits = 0;
    while (digits < code.size() && IsDigit(code[digits])) ++digits;
    const int n = ReadNumber(code.substr(0, digits));
    if (n == 0) return CodeVerdict::kZeroComponent;
    code.remove_prefix(digits);
    if (code.empty()) {
      // n is at least 1 here; a counter may stand at the saturation limit.
      if (n - 1 != counters_[k]) return CodeVerdict::kFinalDoesNotIncrement;
      counters_[k] = n;
      if (k < kMaxLevels - 1) counters_[k + 1] = 0;
      level_ = k;
      return CodeVerdict::kAccepted;
    }
    if (n != counters_[k]) return CodeVerdict::kInteriorMovesOn;
    if (code.front() != '.') return CodeVerdict::kSpuriousCharacter;
    code.remove_prefix(1);
    if (++k == kMaxLevels) return CodeVerdict::kTooManyLevels;
  }
}

ParsedCode::ParsedCode(std::string_view code) {
  canonical = true;
  size_t i = 0;
  for (;;) {
    if (count == kMaxLevels) {
      canonical = false;
      return;
    }
    const size_t start = i;
    long long n = 0;
    for (; i < code.size() && IsDigit(code[i]); ++i) {
      n = n * 10 + (code[i] - '0');
      if (n > INT_MAX) n = INT_MAX;
    }
    if (i == start || n == 0) {
      canonical = false;
      return;
    }
    if (code[start] == '0') canonical = false;
    numbers[count++] = static_cast<int>(n);
    if (i == code.size()) {
      wellFormed = true;
      return;
    }
    if (code[i] != '.') {
      canonical = false;
      return;
    }
    ++i;
  }
}

bool CodeChecker::Accepts(const ParsedCode& code) {
  if (!code.wellFormed) return false;
  const int k = code.count - 1;
  for (int i = 0; i < k; ++i)
    if (code.numbers[i] != counters_[i]) return false;
  if (code.numbers[k] - 1 != counters_[k]) return false;  // numbers are at least 1
  counters_[k] = code.numbers[k];
  if (k < kMaxLevels - 1) counters_[k + 1] = 0;
  level_ = k;
  return true;
}

bool CodeChecker::AssumeAccepted(const ParsedCode& code) {
  if (!code.wellFormed) return false;
  const int k = code.count - 1;
  for (int i = 0; i <= k; ++i) counters_[i] = code.numbers[i];
  if (k < kMaxLevels - 1) counters_[k + 1] = 0;
  level_ = k;
  return true;
}

int ReadNumber(std::string_view digits) {
  long long n = 0;
  for (char c : digits) {
    n = n * 10 + (c - '0');
    if (n > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(n);
}

void SplitNodeLine(std::string_view rest, std::string_view& code, std::string_view& text) {
  size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) {
    code = rest;
    text = {};
  } else {
    code = rest.substr(0, blank);
    text = rest.substr(blank + 1);
  }
}

bool IsCanonicalCode(std::string_view code) {
  if (code.empty()) return false;
  size_t i = 0;
  for (;;) {
    size_t start = i;
    while (i < code.size() && IsDigit(code[i])) ++i;
    if (i == start || code[start] == '0') return false;
    if (i == code.size()) return true;
    if (code[i] != '.') return false;
    ++i;
  }
}

}  // namespace lorelist
