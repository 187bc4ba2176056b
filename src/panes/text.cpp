#include "text.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include "db/charset.h"

namespace lorelist {

QString FromDb(std::string_view bytes) {
  QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (char c : bytes) *out++ = QChar(Cp1252ToUnicode(static_cast<unsigned char>(c)));
  return text;
}

QString FromDbShown(std::string_view bytes, size_t limit) {
  if (bytes.size() <= limit) return FromDb(bytes);
  return FromDb(bytes.substr(0, limit)) +
         QStringLiteral("\u2026 (%1 more characters)").arg(bytes.size() - limit);
}

QString EditorText(const QPlainTextEdit& edit) {
  return WithLineBreaks(edit.document()->toRawText());
}

QString WithLineBreaks(QString text) {
  for (QChar& ch : text)
    if (ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator) ch = u'\n';
  return text;
}

bool ToDb(const QString& text, std::string& bytes, QString* bad) {
  bytes.clear();
  bytes.reserve(static_cast<size_t>(text.size()));
  for (auto it = text.cbegin(); it != text.cend(); ++it) {
    // Characters beyond the 16-bit plane (two QChars) are never in the set.
    if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
      if (bad) *bad = QString(it, 2);
      return false;
    }
    int byte = UnicodeToCp1252(it->unicode());
    if (byte < 0) {
      if (bad) *bad = QString(*it);
      return false;
    }
    bytes.push_back(static_cast<char>(byte));
  }
  return true;
}

EditText ToEditText(const QString& text) {
  EditText edit;
  edit.bytes.reserve(static_cast<size_t>(text.size()));
  auto lacking = [&](QString ch) {
    if (edit.unstorable.empty()) edit.unstorable = ch.toStdString();
    edit.bytes.push_back('?');
  };
  for (auto it = text.cbegin(); it != text.cend(); ++it) {
    if (*it == QChar::LineSeparator || *it == QChar::ParagraphSeparator) {
      edit.bytes.push_back('\n');  // a line break, whatever its kind
      continue;
    }
    if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
      lacking(QString(it, 2));
      ++it;
      continue;
    }
    const int byte = UnicodeToCp1252(it->unicode());
    if (byte < 0)
      lacking(QString(*it));
    else
      edit.bytes.push_back(static_cast<char>(byte));
  }
  return edit;
}

}  // namespace lorelist
