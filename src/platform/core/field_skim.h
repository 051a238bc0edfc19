#pragma once

namespace platform {

// Where the field cutter (FieldCutter) stands between two characters.
enum class FieldState {
    Start,      // before a field: spaces are skipped, a double quote opens a quoted field
    Unquoted,   // inside an unquoted field, which runs to the next comma, CR or LF
    Quoted,     // inside a quoted field, which runs to the next double quote
    AfterQuote, // after a quoted field's closing quote, before its delimiter
};

// What skimFields found.
struct FieldSkim
{
    // Right after the last delimiter in the skimmed bytes that ends a field (the cutter is then
    // at Start), or nullptr when no field ended there.
    const char *fieldEnd = nullptr;
    // How far the skim got: `limit`, or a little before it, or less where a double quote inside
    // an unquoted field (an ordinary character there) stopped it.
    const char *reached = nullptr;
    // The cutter's state at `reached` when it lies inside a field's content (Unquoted or
    // Quoted); Start otherwise (at a field's start or after a closing quote, where the two
    // cannot be told apart without looking further back).
    FieldState stateAtReached = FieldState::Start;
};

// Follows the field cutter's rules over [begin, limit) without cutting: which double quotes open
// and close quoted fields, which delimiters end fields. 64 bytes are classified at once (bit masks
// of quotes, delimiters and spaces; the quoted stretches from the running parity of the quotes),
// so no-hit data is passed over at memory speed. `state`: the cutter's state at `begin`.
//
// Exact for bytes, where the delimiters, the double quote and the space are never part of a
// multi-byte character (platform::cutsAsBytes: GB18030, UTF-8, Big5, ...).
FieldSkim skimFields(const char *begin, const char *limit, FieldState state);

} // namespace platform
