// What the text and the Markdown export share about reading a document:
// articles are read whole up to a bound of the export's own, a body that
// still cannot be read whole stops the export instead of passing for the
// real text, and what is written from a protected document stays private.
#pragma once

#include "store/database.h"

#include <wx/string.h>

#include <cstddef>

namespace qn {

// The longest article an export reads.  The editor's limit is about what a
// window can hold; an export only passes the stored text on, so it reads
// longer ones, while the bound still keeps a hostile document from making
// a reader allocate gigabytes.
constexpr std::size_t kMaxExportArticleBytes = std::size_t(64) << 20;

// Raises the document's article limit to kMaxExportArticleBytes while it
// lives, and restores it afterwards.
class ExportReading {
public:
    explicit ExportReading(Database& db);
    ~ExportReading();
    ExportReading(const ExportReading&) = delete;
    ExportReading& operator=(const ExportReading&) = delete;

    // Before a block's body is used: a body that is in memory already but
    // was cut at a lower limit, and is unchanged, is dropped so that it is
    // read again under the export's limit.  True when the block still holds
    // a body of its own (one the export must leave in memory).
    static bool keepsBody(Block& block);

private:
    Database& db_;
    std::size_t old_;
};

// Why the body of `block`, as body() gave it, is not the whole stored body:
// "note 12 “Title”: its article is larger than 64 MB, ..."; empty when it
// is whole.
wxString incompleteBody(Block& block);

// Permissions for the files and folders an export makes: only the owner's
// for a protected document, else what the umask gives.
bool exportIsPrivate(const Database& db);

} // namespace qn
