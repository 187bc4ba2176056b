#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace lorelist {

// Texts cross between the 8-bit database (Windows-1252) and Qt's Unicode here.
QString FromDb(std::string_view bytes);

// A text for showing in a line of a pane or a message: a text of thousands
// of characters would only freeze the window, so what lies past `limit`
// characters is left out, and the text says so.
QString FromDbShown(std::string_view bytes, size_t limit = 2000);

// The bytes for a text; false, with the first character the set cannot hold
// in `bad`, when there is one.
bool ToDb(const QString& text, std::string& bytes, QString* bad = nullptr);

}  // namespace lorelist
