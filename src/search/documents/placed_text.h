#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace documents {

// The text of a fixed-layout page (PDF, OFD) as a reader sees it. Writers of such pages place
// glyphs one by one, and the text taken from them carries traces of that placement which are no
// text of the page:
//
// - White space between two CJK characters on one line is dropped: it stands there only because
//   the glyphs were placed apart (an invoice converted from OFD places every glyph as its own
//   text object; letter-spaced headings such as "金 额"). So is white space between a CJK
//   character and a digit (2025 年 10 月 is 2025年10月 in print), as text recognition reads
//   it. Spaces beside Latin letters and other characters stay: "Hello world", "IP 地址",
//   "路径 /tmp" keep theirs. Line ends stay.
// - Characters of the Kangxi Radicals block (U+2F00–U+2FDF), which some fonts' ToUnicode maps
//   give for the ideographs they look like (⼀ for 一, ⽤ for 用), are read as those ideographs
//   (their compatibility decompositions). Of the CJK Radicals Supplement block (U+2E80–U+2EFF),
//   the characters that stand alone as an ideograph are read as it: ⺟ (its compatibility
//   decomposition 母) and the simplified radicals that Unicode's CJKRadicals.txt pairs with a
//   unified ideograph (⻅ 见, ⻉ 贝, ⻋ 车, ⻓ 长, ⻔ 门, ⻚ 页, ⻢ 马 …). The other characters of
//   the Supplement block are shapes of a component only (⺅, ⺡), which no font gives for a whole
//   character, and are kept.
//
// Returns `text` itself (no copy) when neither rule changes it.
QString placedText(const QString &text);

// The radicals that placedText reads as `ideograph` (most ideographs have none), as UTF-8: the
// forms a raw-byte scan must also accept for it.
QList<QByteArray> radicalsReadAs(char32_t ideograph);

// True for the characters between which white space is dropped: those recognised text joins
// (ocr::isCjk), the ideographic space excepted.
bool isCjk(char32_t c);

} // namespace documents
