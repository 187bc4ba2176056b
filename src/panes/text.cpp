#include "text.h"

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

}  // namespace lorelist
