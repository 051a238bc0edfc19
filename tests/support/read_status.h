#pragma once

// What the search makes of a document that ends in each outcome: the status of its search text.

#include "search/core/search_text.h"
#include "search/documents/document_text.h"

namespace fixtures {

// The status the search gives a file whose reading ended in `outcome` (a document read whole is
// Ok, whether it held text or not).
inline search::ReadStatus readStatusOf(documents::Outcome outcome)
{
    switch (outcome) {
    case documents::Outcome::Encrypted:
        return search::ReadStatus::Encrypted;
    case documents::Outcome::Damaged:
        return search::ReadStatus::Damaged;
    case documents::Outcome::NoText:
        return search::ReadStatus::NoText;
    case documents::Outcome::Done:
    case documents::Outcome::Stopped:
        break;
    }
    return search::ReadStatus::Ok;
}

} // namespace fixtures
