#include "search/documents/rtf/control_words.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace documents::rtf {

namespace {

struct Entry
{
    std::string_view name;
    Action action;
    char16_t character = 0;
};

using enum Action;

// Sorted by name. Skipped destinations: tables, document properties, pictures and embedded object
// data, field instructions (the field's result is kept), list labels and old-style paragraph
// numbers (not text, as in the other document families), index and table-of-contents entries
// (hidden), footnote separators, and the fallback of a nested table for readers without nested
// tables (the nested table itself is read). A shape's text is read from its instructions
// (\shptxt inside \*\shpinst, whose properties \sp are skipped), not from the result written for
// older readers; a nested table's properties hold the \nestrow that ends its rows; old-style
// drawing objects hold text box text.
constexpr std::array kWords = {
    Entry{"aftncn", Skip},
    Entry{"aftnsep", Skip},
    Entry{"aftnsepc", Skip},
    Entry{"ansicpg", AnsiCodePage},
    Entry{"bin", Binary},
    Entry{"bkmkend", Skip},
    Entry{"bkmkstart", Skip},
    Entry{"bullet", Character, u'\u2022'},
    Entry{"cell", EndCell},
    Entry{"colortbl", Skip},
    Entry{"cpg", FontCodePage},
    Entry{"datafield", Skip},
    Entry{"deff", DefaultFont},
    Entry{"do", Kept},
    Entry{"emdash", Character, u'\u2014'},
    Entry{"emspace", Character, u'\u2003'},
    Entry{"endash", Character, u'\u2013'},
    Entry{"enspace", Character, u'\u2002'},
    Entry{"f", Font},
    Entry{"fcharset", FontCharset},
    Entry{"filetbl", Skip},
    Entry{"fldinst", Skip},
    Entry{"fonttbl", FontTable},
    Entry{"ftncn", Skip},
    Entry{"ftnsep", Skip},
    Entry{"ftnsepc", Skip},
    Entry{"info", Skip},
    Entry{"ldblquote", Character, u'\u201C'},
    Entry{"line", EndLine},
    Entry{"listoverridetable", Skip},
    Entry{"listtable", Skip},
    Entry{"listtext", Skip},
    Entry{"lquote", Character, u'\u2018'},
    Entry{"ltrmark", Character, u'\u200E'},
    Entry{"mac", MacCharset},
    Entry{"nestcell", EndCell},
    Entry{"nestrow", EndRow},
    Entry{"nesttableprops", Kept},
    Entry{"nonesttables", Skip},
    Entry{"nonshppict", Skip},
    Entry{"objalias", Skip},
    Entry{"objclass", Skip},
    Entry{"objdata", Skip},
    Entry{"objname", Skip},
    Entry{"objsect", Skip},
    Entry{"page", EndLine},
    Entry{"par", EndLine},
    Entry{"pc", PcCharset},
    Entry{"pca", PcaCharset},
    Entry{"pict", Picture},
    Entry{"plain", Plain},
    Entry{"pntext", Skip},
    Entry{"pntxta", Skip},
    Entry{"pntxtb", Skip},
    Entry{"qmspace", Character, u'\u2005'},
    Entry{"rdblquote", Character, u'\u201D'},
    Entry{"revtbl", Skip},
    Entry{"row", EndRow},
    Entry{"rquote", Character, u'\u2019'},
    Entry{"rsidtbl", Skip},
    Entry{"rtlmark", Character, u'\u200F'},
    Entry{"sect", EndLine},
    Entry{"shpinst", Kept},
    Entry{"shprslt", Skip},
    Entry{"sp", Skip},
    Entry{"stylesheet", Skip},
    Entry{"tab", Character, u'\t'},
    Entry{"tc", Skip},
    Entry{"txe", Skip},
    Entry{"u", Unicode},
    Entry{"uc", FallbackCount},
    Entry{"xe", Skip},
    Entry{"zwj", Character, u'\u200D'},
    Entry{"zwnj", Character, u'\u200C'},
};

static_assert(std::ranges::is_sorted(kWords, {}, &Entry::name));

} // namespace

ControlWord controlWord(QByteArrayView name)
{
    const std::string_view key(name.data(), std::size_t(name.size()));
    const auto it = std::ranges::lower_bound(kWords, key, {}, &Entry::name);
    if (it == kWords.end() || it->name != key)
        return ControlWord();
    return ControlWord{it->action, it->character};
}

} // namespace documents::rtf
