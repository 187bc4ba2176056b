#include "export_text.h"

#include <algorithm>

#include "db/charset.h"

namespace lorelist {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

}  // namespace

char32_t Shown(char32_t ch) {
  if (ch == '\t') return ' ';
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return kReplacement;
  if ((ch >= 0xFDD0 && ch <= 0xFDEF) || (ch & 0xFFFE) == 0xFFFE) return kReplacement;
  return ch;
}

char32_t Shown(char byte) {
  return Shown(static_cast<char32_t>(Cp1252ToUnicode(static_cast<unsigned char>(byte))));
}

char* OutBuffer::Reserve(size_t n) {
  if (size_ + n > capacity_) {
    if (size_ > (1 << 20)) Flush();
    if (size_ + n > capacity_) {
      capacity_ = std::max(size_ + n, capacity_ * 2 + (1 << 20));
      auto bigger = std::make_unique_for_overwrite<char[]>(capacity_);
      if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
      data_ = std::move(bigger);
    }
  }
  return data_.get() + size_;
}

void OutBuffer::Flush() {
  if (size_ == 0) return;
  sink_.Write(std::string_view(data_.get(), size_));
  size_ = 0;
}

char* EscapeTable::WriteUtf8(char* w, std::string_view text) const {
  for (size_t at = 0; at < text.size();) {
    const auto b = static_cast<unsigned char>(text[at]);
    if (b < 0x80) {
      std::memcpy(w, forms_[b].bytes, sizeof(Form::bytes));
      w += forms_[b].length;
      ++at;
      continue;
    }
    // A byte that cannot be read reads as U+FFFD, and shows as it.
    const size_t start = at;
    const char32_t ch = NextCodePoint(text, at);
    const std::string_view form =
        ch != kReplacement && Shown(ch) == ch ? text.substr(start, at - start) : kReplacementUtf8;
    std::memcpy(w, form.data(), form.size());
    w += form.size();
  }
  return w;
}

void EscapeTable::Append(OutBuffer& out, std::string_view text, Encoding encoding) const {
  char* w = out.Reserve(text.size() * sizeof(Form::bytes));
  if (encoding == Encoding::kUtf8) {
    out.Commit(WriteUtf8(w, text));
    return;
  }
  for (char byte : text) {
    const auto b = static_cast<unsigned char>(byte);
    if (plain_[b]) {
      *w++ = byte;
    } else {
      std::memcpy(w, forms_[b].bytes, sizeof(Form::bytes));
      w += forms_[b].length;
    }
  }
  out.Commit(w);
}

void EscapeTable::Append(std::string& out, std::string_view text, Encoding encoding) const {
  if (encoding == Encoding::kUtf8) {
    const size_t start = out.size();
    out.resize(start + text.size() * sizeof(Form::bytes));
    out.resize(static_cast<size_t>(WriteUtf8(out.data() + start, text) - out.data()));
    return;
  }
  for (char byte : text) {
    const Form& form = forms_[static_cast<unsigned char>(byte)];
    out.append(form.bytes, form.length);
  }
}

std::string Anchor(char prefix, std::string_view code) {
  std::string id(1, prefix);
  id += '-';
  for (char c : code) id += c == '.' ? '-' : c;
  return id;
}

bool FileNameAsText(std::string_view name, Encoding encoding, std::string& text) {
  if (encoding == Encoding::kWindows1252) return Utf8ToCp1252(name, text) == Utf8Conversion::kDone;
  text = name;
  return IsValidUtf8(name);
}

}  // namespace lorelist
