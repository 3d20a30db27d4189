#pragma once
// Rich text documents: our own reader of the Rich Text Format into a
// QTextDocument (Qt reads none) and a writer back to it.
//
// The reader takes what report texts use: the font and colour tables,
// paragraphs and their alignment, indents, spacing and tab stops (left,
// right and decimal), bold, italic, underline, strike-out, size, font, text
// and background colours, tabs, line breaks, code page 1252 escapes, Unicode
// escapes with their fall-back characters, and PNG and JPEG pictures. Destinations it does not
// know that are marked ignorable, and those that never hold text (style
// sheets, document information, headers and footers, field instructions),
// are skipped.
//
// Whatever the input, reading ends: unbalanced braces, truncated escapes,
// absurd numbers and deep nesting give a best-effort document. A text that
// is not RTF at all is taken as plain text, as a rich edit control takes it.
//
// Character positions are those of the document: each paragraph end counts
// one character, as in the rich edit control the reports were made with.
//
// Hidden text (\v) is part of the document like any other: it keeps its
// positions, is written back and is in the plain text. Only drawing leaves
// it out; its runs carry the kHidden property.
#include <string>
#include <string_view>

#include <QTextFormat>

class QTextDocument;

namespace rtf {

// The character format property that marks hidden text.
inline constexpr int kHidden = QTextFormat::UserProperty + 1;
inline bool IsHidden(const QTextCharFormat& Format) { return Format.boolProperty(kHidden); }

// Replaces the content of Doc with Data.
void Read(std::string_view Data, QTextDocument& Doc);

// True when Data starts, after blanks, with "{\rtf".
bool IsRTF(std::string_view Data);

// The document as RTF (code page 1252 with Unicode escapes for the rest).
std::string Write(const QTextDocument& Doc);

// Plain text as a plain text file holds it: paragraphs end with CR LF
// (none after the last), line breaks inside a paragraph are CR LF too.
std::string PlainText(const QTextDocument& Doc);

}  // namespace rtf
