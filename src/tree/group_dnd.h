// Dragging nodes and categories onto the category bar: the record a drag
// carries ("quillnest-block", 12 bytes), the drop target on the bar, and
// the token that tells the main windows apart.
#pragma once

#include <wx/dataobj.h>
#include <wx/dnd.h>

#include <cstdint>

class wxWindow;

namespace qn {

class GroupContainer;

enum GroupDragKind : uint32_t { DRAG_NODE = 0, DRAG_CATEGORY = 1 };

struct GroupRecord {
    uint32_t source = 0; // token of the main window that started the drag
    uint32_t kind = 0;
    uint32_t nodeId = 0;
};

// A random token of a top-level window, the same for its whole life and
// never 0; another instance of the program cannot guess it.
uint32_t windowToken(wxWindow* topLevel);

class GroupDataObject : public wxDataObjectSimple {
public:
    static constexpr size_t kSize = 12;
    GroupDataObject();
    explicit GroupDataObject(const GroupRecord& record);
    const GroupRecord& record() const { return record_; }

    size_t GetDataSize() const override { return kSize; }
    bool GetDataHere(void* buf) const override;
    // Data of any other size is refused.
    bool SetData(size_t len, const void* buf) override;

private:
    GroupRecord record_;
};

class GroupDropTarget : public wxDropTarget {
public:
    explicit GroupDropTarget(GroupContainer* container);
    wxDragResult OnDragOver(wxCoord, wxCoord, wxDragResult def) override { return def; }
    wxDragResult OnData(wxCoord x, wxCoord y, wxDragResult def) override;
    // What a dropped record does at a point of the bar.
    wxDragResult deliver(const GroupRecord& record, wxCoord x, wxCoord y, wxDragResult def);

private:
    GroupDataObject* data_; // owned by the target
    GroupContainer* container_;
};

// Starts a drag of `record` from `source`; returns when it ended.
void startGroupDrag(wxWindow* source, const GroupRecord& record);

} // namespace qn
