#pragma once

#include <string>
#include <string_view>

#include "db/database.h"

namespace lorelist {

// Where an export goes, piece by piece.
class ExportSink {
 public:
  virtual ~ExportSink() = default;
  virtual void Write(std::string_view text) = 0;
};

class StringSink : public ExportSink {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// The database as a printable dictionary: the categories with their subject
// entries and references (each with the quotation and where it comes from),
// an alphabetical subject index, the quotations tree with the categories
// that cite each node, a table of contents and a colophon with the counts.
// Every text is converted from Windows-1252 and escaped: nothing in the file
// can add markup. `source` names the file in the colophon.
//
// HTML: one self-contained UTF-8 document with print-friendly CSS, written
// so that it is also well-formed XML. Markdown: the same content as CommonMark.
void ExportHtml(const Database& db, std::string_view source, ExportSink& out);
void ExportMarkdown(const Database& db, std::string_view source, ExportSink& out);

}  // namespace lorelist
