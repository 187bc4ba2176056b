#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace lorelist {

// Texts cross between the 8-bit database (Windows-1252) and Qt's Unicode here.
QString FromDb(std::string_view bytes);

// The bytes for a text; false, with the first character the set cannot hold
// in `bad`, when there is one.
bool ToDb(const QString& text, std::string& bytes, QString* bad = nullptr);

}  // namespace lorelist
