#pragma once

#include "search/documents/document.h"

#include <memory>
#include <optional>
#include <vector>

namespace documents {

class ParsedMessage;

// Internet messages: mail saved as .eml and web pages saved "as a single file" (.mht, .mhtml),
// parsed by GMime. The text a reader sees:
//
// - First the headers a mail client shows, each value a line: Subject, From, To, Date, decoded
//   from RFC 2047 words (and from raw 8-bit bytes, read as UTF-8 or else GB18030).
// - Then the text parts in order, each decoded from its transfer encoding and its charset (the
//   encoding rule of text files when it names none, or one not known): text/html by the HTML
//   text rules, text/plain as it is. Of a multipart/alternative only the HTML alternative is
//   read, as a client shows it (the plain one when there is no HTML). The preamble and epilogue
//   around the parts, which no client shows, are not text.
// - The files a mail carries are its attachments (Document::takeAttachments): parts with an
//   attachment disposition, parts with a file name that are not text, and attached messages
//   (as the message they hold). The pictures, style sheets and scripts of a saved page are none.
class MessageDocument final : public Document
{
public:
    MessageDocument(const Format &format, const Source &source);
    ~MessageDocument() override;

    Outcome extract(const TextOut &out, platform::WorkMonitor &monitor) override;
    bool hasAttachments() const override;
    std::unique_ptr<Attachments> takeAttachments() override;

    // The screen of the registry's row (Format::screen): Absent when some character of
    // `utf8Characters` is in none of the header lines and text parts (nor can be made by a
    // character reference of an HTML part), so that its text cannot hold the keyword. A part in
    // GB18030, UTF-8 or Big5 is looked at in its bytes, for the one byte form each character
    // has there; a part in another encoding is decoded. The parts' decoded bytes are kept for
    // extract(), which then does not decode them again.
    Screen screen(const std::vector<QByteArray> &utf8Characters,
                  platform::WorkMonitor &monitor) const;

private:
    std::shared_ptr<ParsedMessage> m_message; // null when the bytes are no message
    bool m_attachmentsTaken = false;
    // The text parts' decoded bytes as the screen left them for extract(), in part order.
    mutable std::vector<std::optional<QByteArray>> m_decoded;
};

// The registry's row of this family.
extern const Format kMessageFormat;

} // namespace documents
