#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "db/database.h"
#include "db/save.h"

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
// Every text is read in the dictionary's encoding and escaped: nothing in the
// file can add markup. `source` names the file in the colophon.
//
// HTML: one self-contained UTF-8 document with print-friendly CSS, written
// so that it is also well-formed XML; a text of right to left says so.
// Markdown: the same content as CommonMark.
void ExportHtml(const Database& db, std::string_view source, ExportSink& out);
void ExportMarkdown(const Database& db, std::string_view source, ExportSink& out);

enum class ExportFormat { kHtml, kMarkdown };

// Writes the export to path whole or not at all, as Save writes a file.
// progress, when given, is called every so often with an estimate of the
// share done (0 to 1); when it returns false the export stops, leaving no
// file, and the message is "cancelled".
SaveResult ExportToFile(const Database& db, ExportFormat format, std::string_view source,
                        const std::string& path, const std::function<bool(double)>& progress = {});

}  // namespace lorelist
