#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "db/charset.h"
#include "export.h"

namespace lorelist {

// The character a character of the file shows as in an export: a tab as a
// blank; control characters, the bytes Windows-1252 leaves undefined and the
// noncharacters (U+FFFE and U+FFFF, which XML forbids, and the others with
// them) as the replacement character, so that none can break a line or a
// document.
char32_t Shown(char32_t ch);
// The same for a byte of a Windows-1252 dictionary.
char32_t Shown(char byte);

// The document being written: a plain growable buffer handed to the sink a
// megabyte at a time; escaping writes straight into it.
class OutBuffer {
 public:
  explicit OutBuffer(ExportSink& sink) : sink_(sink) {}
  ~OutBuffer() { Flush(); }
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;

  // Room for n more bytes; returns where they go.
  char* Reserve(size_t n);
  void Commit(char* end) { size_ = static_cast<size_t>(end - data_.get()); }
  void Append(std::string_view text) {
    if (text.empty()) return;  // an empty text may have no data at all
    char* at = Reserve(text.size());
    std::memcpy(at, text.data(), text.size());
    size_ += text.size();
  }
  void Flush();

 private:
  ExportSink& sink_;
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// How each character of the file is written in one format: its UTF-8 form
// with the format's escapes. The forms of the bytes of Windows-1252, and of
// ASCII, which UTF-8 shares, are looked up rather than worked out for a
// billion bytes; the format escapes nothing beyond ASCII, so UTF-8 text's
// other characters stand as they are, but for those that Shown replaces.
class EscapeTable {
 public:
  template <typename Escape>
  explicit EscapeTable(Escape escape) {
    for (int b = 0; b < 256; ++b) {
      const std::string form = escape(Shown(static_cast<char>(b)));
      forms_[b].length = static_cast<uint8_t>(form.copy(forms_[b].bytes, sizeof forms_[b].bytes));
      plain_[b] = form.size() == 1 && form[0] == static_cast<char>(b);
    }
  }
  void Append(OutBuffer& out, std::string_view text, Encoding encoding) const;
  void Append(std::string& out, std::string_view text, Encoding encoding) const;
  std::string operator()(std::string_view text, Encoding encoding) const {
    std::string out;
    Append(out, text, encoding);
    return out;
  }

 private:
  struct Form {
    uint8_t length;
    char bytes[7];
  };
  // Writes the forms of a UTF-8 text at w, at most sizeof Form::bytes bytes
  // a byte of text; returns their end.
  char* WriteUtf8(char* w, std::string_view text) const;
  Form forms_[256];
  bool plain_[256];
};

// The id of a node's target in a document: a prefix letter and its code.
std::string Anchor(char prefix, std::string_view code);

// A file name (UTF-8 already) as a text of the encoding, or nothing when it
// holds a character the encoding lacks (or, for UTF-8, is not UTF-8).
bool FileNameAsText(std::string_view name, Encoding encoding, std::string& text);

}  // namespace lorelist
