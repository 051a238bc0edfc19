#pragma once

#include "search/documents/document.h"

#include <memory>

namespace documents {

class CompoundFile;

// Outlook messages saved as .msg ([MS-OXMSG]): an OLE2 compound file read through libgsf,
// recognised by its property stream and its "__substg1.0_" property streams at the root. The
// text a reader sees:
//
// - First the headers a mail client shows, each a line when the message has it: the subject,
//   the sender ("name <address>"; the SMTP address before the sender's own when both are there),
//   the display lists of To and Cc recipients.
// - Then the body: the plain body when it holds text (Unicode, or 8-bit in the message's code
//   page, PidTagInternetCodepage then PidTagMessageCodepage, else by the encoding rule of text
//   files), else the compressed RTF body read as RTF, else the HTML body by the HTML text rules.
// - Then each embedded message (an attachment that is a message, which has no bytes of a file
//   of its own): a line break, its subject and its body, laid out alike.
// - The files among the attachments (PidTagAttachDataBinary) are its attachments
//   (Document::takeAttachments), named by their long file name, else their short file name,
//   else their display name, and numbered by their storage's number.
class OutlookMessageDocument final : public Document
{
public:
    OutlookMessageDocument(const Format &format, const Source &source,
                           std::unique_ptr<CompoundFile> file);
    ~OutlookMessageDocument() override;

    Outcome extract(const TextOut &out, platform::WorkMonitor &monitor) override;
    bool hasAttachments() const override;
    std::unique_ptr<Attachments> takeAttachments() override;

private:
    std::shared_ptr<const CompoundFile> m_file; // null when it could not be opened
    bool m_hasFiles = false;
    bool m_attachmentsTaken = false;
};

// True when `file` is an Outlook message.
bool isOutlookMessage(const CompoundFile &file);

// The registry's row of this family.
extern const Format kOutlookMessageFormat;

} // namespace documents
