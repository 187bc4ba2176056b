#include "text.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include "db/charset.h"

namespace lorelist {

QString FromDb(std::string_view bytes, Encoding encoding) {
  if (encoding == Encoding::kUtf8)
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (char c : bytes) *out++ = QChar(Cp1252ToUnicode(static_cast<unsigned char>(c)));
  return text;
}

QString FromDbShown(std::string_view bytes, Encoding encoding, size_t limit) {
  // No text holds more characters than bytes.
  if (bytes.size() <= limit) return FromDb(bytes, encoding);
  size_t cut = limit;
  if (encoding == Encoding::kUtf8) {
    cut = 0;
    for (size_t n = 0; n < limit && cut < bytes.size(); ++n) NextCodePoint(bytes, cut);
    if (cut == bytes.size()) return FromDb(bytes, encoding);
  }
  return FromDb(bytes.substr(0, cut), encoding) +
         QStringLiteral("\u2026 (%1 more characters)")
             .arg(CharacterCount(bytes.substr(cut), encoding));
}

QString EditorText(const QPlainTextEdit& edit) {
  return WithLineBreaks(edit.document()->toRawText());
}

QString WithLineBreaks(QString text) {
  for (QChar& ch : text)
    if (ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator) ch = u'\n';
  return text;
}

void FollowTextDirection(QPlainTextEdit& edit) {
  // With the direction left automatic, each paragraph takes it from its
  // first strong character. The alignment is Qt's own rule: justified
  // text in a right-to-left line stands at the right edge; with "left"
  // beside it, no line is stretched and a left-to-right one stays left.
  QTextOption option = edit.document()->defaultTextOption();
  option.setTextDirection(Qt::LayoutDirectionAuto);
  option.setAlignment(Qt::AlignLeft | Qt::AlignJustify);
  edit.document()->setDefaultTextOption(option);
}

bool ToDb(const QString& text, Encoding encoding, std::string& bytes, QString* bad) {
  if (encoding == Encoding::kUtf8) {
    bytes = text.toStdString();
    return true;
  }
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

EditText ToEditText(const QString& text, Encoding encoding) {
  EditText edit;
  // UTF-8 holds every character: a line break, whatever its kind, is the
  // one thing to make plain.
  if (encoding == Encoding::kUtf8) {
    edit.bytes = WithLineBreaks(text).toStdString();
    return edit;
  }
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
