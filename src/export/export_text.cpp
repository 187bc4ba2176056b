#include "export_text.h"

#include <algorithm>

#include "db/charset.h"

namespace lorelist {

char32_t Shown(char byte) {
  constexpr char32_t kReplacement = 0xFFFD;
  const char32_t ch = Cp1252ToUnicode(static_cast<unsigned char>(byte));
  if (ch == '\t') return ' ';
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return kReplacement;
  return ch;
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

void EscapeTable::Append(OutBuffer& out, std::string_view text) const {
  char* w = out.Reserve(text.size() * sizeof(Form::bytes));
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

void EscapeTable::Append(std::string& out, std::string_view text) const {
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

bool FileNameAsBytes(std::string_view name, std::string& bytes) {
  return Utf8ToCp1252(name, bytes) == Utf8Conversion::kDone;
}

}  // namespace lorelist
