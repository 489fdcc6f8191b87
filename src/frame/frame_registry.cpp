#include "frame/frame_registry.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "frame/main_frame.h"

#include <wx/display.h>
#include <wx/filename.h>

#include <algorithm>

namespace qn {

namespace {

std::vector<FrameEntry>& registry() {
    static std::vector<FrameEntry> entries;
    return entries;
}

std::vector<FrameEntry>::iterator findEntry(MainFrame* frame) {
    auto& entries = registry();
    return std::find_if(entries.begin(), entries.end(),
                        [frame](const FrameEntry& e) { return e.frame == frame; });
}

} // namespace

void registerFrame(MainFrame* frame) {
    registry().push_back(FrameEntry{wxString(), frame});
}

void unregisterFrame(MainFrame* frame) {
    auto it = findEntry(frame);
    if (it != registry().end()) registry().erase(it);
}

MainFrame* frameForPath(const wxString& path) {
    for (const FrameEntry& e : registry())
        if (e.path == path) return e.frame;
    return nullptr;
}

MainFrame* frameShowingFile(const wxString& path) {
    if (path.empty()) return nullptr;
    wxFileName target(path);
    target.MakeAbsolute();
    auto same = [&target](const wxString& p) {
        if (p.empty()) return false;
        wxFileName shown(p);
        shown.MakeAbsolute();
        return shown.SameAs(target);
    };
    // The registered path, and the file the window's document is in now.
    for (const FrameEntry& e : registry())
        if (same(e.path) || (e.frame && same(e.frame->database().path()))) return e.frame;
    return nullptr;
}

void setFramePath(MainFrame* frame, const wxString& path) {
    auto it = findEntry(frame);
    if (it != registry().end()) it->path = path;
}

wxString framePath(MainFrame* frame) {
    auto it = findEntry(frame);
    return it != registry().end() ? it->path : wxString();
}

void broadcastCommand(int id) {
    // A handler may open or close windows: walk a copy and skip windows
    // that left the registry meanwhile.
    const std::vector<FrameEntry> snapshot = registry();
    for (const FrameEntry& e : snapshot) {
        if (findEntry(e.frame) == registry().end()) continue;
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetEventObject(e.frame);
        e.frame->ProcessWindowEvent(event);
    }
}

const std::vector<FrameEntry>& registeredFrames() {
    return registry();
}

WindowGeometry windowGeometryFromSettings() {
    // Defaults for a settings file without a usable "window" value.
    WindowGeometry g{wxDefaultCoord, wxDefaultCoord, 900, 640, 250};
    int v[5] = {g.x, g.y, g.width, g.height, g.sash};
    const int n = settings().getIntArray(wxS("window"), v, 5);
    if (n >= 2) {
        g.x = v[0];
        g.y = v[1];
    }
    if (n >= 4 && v[2] > 0 && v[3] > 0) {
        g.width = v[2];
        g.height = v[3];
    }
    if (n >= 5) g.sash = v[4];
    return g;
}

wxRect fitOnDisplay(const wxRect& wanted) {
    const bool placed = wanted.x != wxDefaultCoord && wanted.y != wxDefaultCoord;
    int index = placed ? wxDisplay::GetFromPoint(wanted.GetTopLeft()) : wxNOT_FOUND;
    if (index == wxNOT_FOUND) index = 0;
    const wxRect area = wxDisplay(static_cast<unsigned>(index)).GetClientArea();
    wxRect r = wanted;
    if (area.IsEmpty()) return r;
    if (r.width > area.width) r.width = area.width;
    if (r.height > area.height) r.height = area.height;
    if (placed) {
        r.x = std::clamp(r.x, area.x, area.GetRight() + 1 - r.width);
        r.y = std::clamp(r.y, area.y, area.GetBottom() + 1 - r.height);
    }
    return r;
}

} // namespace qn
