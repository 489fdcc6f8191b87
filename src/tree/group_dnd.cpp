#include "tree/group_dnd.h"

#include "tree/group_container.h"

#include <wx/toplevel.h>

#include <map>
#include <random>

namespace qn {

namespace {
const wxDataFormat& groupFormat() {
    static const wxDataFormat format(wxS("quillnest-block"));
    return format;
}

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
} // namespace

uint32_t windowToken(wxWindow* topLevel) {
    static std::map<wxWindow*, uint32_t> tokens;
    static std::mt19937 random{std::random_device{}()};
    if (!topLevel) return 0;
    auto it = tokens.find(topLevel);
    if (it != tokens.end()) return it->second;
    uint32_t token = 0;
    while (token == 0)
        token = random();
    tokens[topLevel] = token;
    // A later window at the same address must not inherit it.
    topLevel->Bind(wxEVT_DESTROY, [topLevel](wxWindowDestroyEvent& event) {
        if (event.GetEventObject() == topLevel) tokens.erase(topLevel);
        event.Skip();
    });
    return token;
}

GroupDataObject::GroupDataObject() : wxDataObjectSimple(groupFormat()) {}

GroupDataObject::GroupDataObject(const GroupRecord& record)
    : wxDataObjectSimple(groupFormat()), record_(record) {}

bool GroupDataObject::GetDataHere(void* buf) const {
    auto* p = static_cast<unsigned char*>(buf);
    put32(p, record_.source);
    put32(p + 4, record_.kind);
    put32(p + 8, record_.nodeId);
    return true;
}

bool GroupDataObject::SetData(size_t len, const void* buf) {
    if (len != kSize || !buf) return false;
    const auto* p = static_cast<const unsigned char*>(buf);
    record_ = {get32(p), get32(p + 4), get32(p + 8)};
    return true;
}

GroupDropTarget::GroupDropTarget(GroupContainer* container)
    : data_(new GroupDataObject), container_(container) {
    SetDataObject(data_);
}

wxDragResult GroupDropTarget::OnData(wxCoord x, wxCoord y, wxDragResult def) {
    if (!GetData()) return wxDragNone;
    return deliver(data_->record(), x, y, def);
}

wxDragResult GroupDropTarget::deliver(const GroupRecord& record, wxCoord x, wxCoord y,
                                      wxDragResult def) {
    // Only drags of this very main window (not another one, not another
    // instance of the program).
    if (record.source == 0 || record.source != windowToken(wxGetTopLevelParent(container_)))
        return wxDragNone;
    if (record.nodeId == 0 || record.nodeId > 0x7FFFFFFF) return wxDragNone;
    const int position = container_->insertionIndexAt(x, y);
    const int id = static_cast<int>(record.nodeId);
    if (record.kind == DRAG_CATEGORY) {
        container_->moveDraggedCategory(id, position);
        return def;
    }
    if (record.kind == DRAG_NODE) {
        container_->addCategory(id, position);
        return def;
    }
    return wxDragNone;
}

void startGroupDrag(wxWindow* source, const GroupRecord& record) {
    GroupDataObject data(record);
    wxDropSource drag(data, source); // the toolkit's own move and no-drop images
    drag.DoDragDrop(wxDrag_AllowMove);
}

} // namespace qn
