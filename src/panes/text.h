#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "db/database.h"

class QPlainTextEdit;

namespace lorelist {

// Texts cross between the database's bytes and Qt's Unicode here, in the
// dictionary's encoding: Windows-1252, every byte a character, or UTF-8.
QString FromDb(std::string_view bytes, Encoding encoding);

// How much of a text is shown: in a line of a pane, and in a tooltip or a
// message. A text of thousands of characters would only freeze the window.
constexpr size_t kPaneLineLimit = 1000;
constexpr size_t kMessageLimit = 2000;

// A text for showing: what lies past `limit` characters is left out, and the
// text says so.
QString FromDbShown(std::string_view bytes, Encoding encoding, size_t limit = kMessageLimit);

// The text of an edit box as typed, every character kept: Qt's plain text
// turns no-break spaces into blanks. Its paragraph and line separators
// become '\n', so that a line break stays one.
QString EditorText(const QPlainTextEdit& edit);
// The same for a text Qt gives with separators (a cursor's selection).
QString WithLineBreaks(QString text);

// Lays out each paragraph of the edit box in the direction of its text: a
// Hebrew or Arabic one right to left, at the right edge.
void FollowTextDirection(QPlainTextEdit& edit);

// The bytes for a text; false, with the first character the encoding cannot
// hold in `bad`, when there is one (UTF-8 holds every one).
bool ToDb(const QString& text, Encoding encoding, std::string& bytes, QString* bad = nullptr);
// A typed text as the database's edits take it: every character the
// encoding cannot hold stands as '?' and the first of them is named; line
// and paragraph separators are line breaks.
EditText ToEditText(const QString& text, Encoding encoding);

}  // namespace lorelist
