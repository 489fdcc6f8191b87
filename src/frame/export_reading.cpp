#include "frame/export_reading.h"

#include <algorithm>

namespace qn {

ExportReading::ExportReading(Database& db) : db_(db), old_(db.articleLimit()) {
    db_.setArticleLimit(std::max(old_, kMaxExportArticleBytes));
}

ExportReading::~ExportReading() {
    db_.setArticleLimit(old_);
}

bool ExportReading::keepsBody(Block& block) {
    if (!block.hasBody()) return false;
    if (block.isDamaged() && block.dirty() == 0) {
        block.releaseBody();
        return false;
    }
    return true;
}

wxString incompleteBody(Block& block) {
    if (!block.isDamaged()) return wxString();
    const wxString what =
        block.isNode() ? wxString::Format(wxS("note %d \"%s\""), block.id(), block.getString(K_cap))
                       : wxString::Format(wxS("object %d"), block.id());
    const std::size_t limit = block.isNode() ? block.owner()->articleLimit() : kMaxObjectBytes;
    // The size the header records, or what was read up to the limit.
    const std::size_t read = block.hasBody() ? block.body().bytes.size() : 0;
    if (read >= limit || block.size() > limit)
        return wxString::Format(wxS("%s is larger than %lu MB, the most an export reads; "
                                    "nothing was exported"),
                                what, static_cast<unsigned long>(limit >> 20));
    return what + wxS(" is damaged in the document: only part of it can be read, so nothing "
                      "was exported");
}

bool exportIsPrivate(const Database& db) {
    return db.isProtected();
}

} // namespace qn
