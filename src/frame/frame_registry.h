// The registry of main windows (one per open document), and where a new
// main window is placed.
#pragma once

#include <wx/gdicmn.h>
#include <wx/string.h>

#include <vector>

namespace qn {

class MainFrame;

// One main window and the document it shows ("" while it shows none or a
// never-saved document).
struct FrameEntry {
    wxString path;
    MainFrame* frame = nullptr;
};

// The registry belongs to the main windows, not to the application object,
// so that main windows also work under a test's own application object.
void registerFrame(MainFrame* frame);
void unregisterFrame(MainFrame* frame);
// The window of the first entry whose path equals `path` exactly, or null.
MainFrame* frameForPath(const wxString& path);
// The window whose document is the file at `path`, however either path is
// written (relative, with "." or ".."); null when none.
MainFrame* frameShowingFile(const wxString& path);
// Nothing happens for a window that is not registered.
void setFramePath(MainFrame* frame, const wxString& path);
// The path registered for the window; "" when none or not registered.
wxString framePath(MainFrame* frame);
// Lets every registered window, in registry order, process a menu command
// with this id and no payload (ID_FAVOURITES_CHANGED to
// ID_CAPTION_COLOURS_CHANGED).
void broadcastCommand(int id);
const std::vector<FrameEntry>& registeredFrames();

// Geometry of a new main window from the setting "window" (x, y, width,
// height, sash); missing or unusable numbers take sensible defaults.
struct WindowGeometry {
    int x, y, width, height, sash;
};
WindowGeometry windowGeometryFromSettings();

// `wanted` moved and, where it must be, made smaller so that the whole
// window lies in the work area of the display it starts on (the first
// display when it starts on none): a geometry stored on a larger screen
// stays reachable. A default position (wxDefaultCoord) stays default.
wxRect fitOnDisplay(const wxRect& wanted);

} // namespace qn
