#pragma once

#include <QByteArrayView>

namespace documents::rtf {

// What a control word does to the text; words not in the table change only formatting.
enum class Action : unsigned char {
    None,
    EndLine,       // \par, \line, \sect, \page
    Character,     // a character of its own: \tab, \emdash, \bullet, ...
    EndCell,       // \cell, \nestcell
    EndRow,        // \row, \nestrow
    Unicode,       // \uN
    FallbackCount, // \ucN
    Font,          // \fN: the current font, or the font table entry being read
    FontCharset,   // \fcharsetN in the font table
    FontCodePage,  // \cpgN in the font table
    Plain,         // \plain: character formatting, the font among it, back to the defaults
    DefaultFont,   // \deffN
    AnsiCodePage,  // \ansicpgN
    MacCharset,    // \mac
    PcCharset,     // \pc
    PcaCharset,    // \pca
    Binary,        // \binN: N raw bytes follow
    FontTable,     // \fonttbl: read for each font's charset, not text
    Skip,          // a destination that is not text
    Picture,       // \pict: not text, and a sign that the document has images
    Kept,          // a "{\*\word" destination that is read all the same
};

struct ControlWord
{
    Action action = Action::None;
    char16_t character = 0; // for Action::Character
};

// The meaning of the control word `name` (its letters, without the backslash and parameter).
ControlWord controlWord(QByteArrayView name);

} // namespace documents::rtf
