#include "ui/tree_icons.h"

#include "app/app_paths.h"

#include <wx/bitmap.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/imaglist.h>
#include <wx/log.h>
#include <wx/strconv.h>

#include <memory>
#include <vector>

namespace qn {

namespace {

constexpr int kIconSize = 16;

struct TreeIcons {
    std::unique_ptr<wxImageList> list;
    TreeIconMap map;
};

TreeIcons& icons() {
    static TreeIcons t;
    return t;
}

std::vector<wxString> splitLines(const wxString& text) {
    std::vector<wxString> lines;
    wxString line;
    for (wxString::const_iterator it = text.begin(); it != text.end(); ++it) {
        wxUniChar c = *it;
        if (c == '\n' || c == '\r') {
            lines.push_back(line);
            line.clear();
            if (c == '\r') {
                auto next = it;
                ++next;
                if (next != text.end() && *next == '\n') it = next;
            }
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The image list holds 16x16 pictures only; a wider one would be split
// into several and shift every later index.
void fitToIconSize(wxImage& img, bool bmp) {
    if (img.GetWidth() == kIconSize && img.GetHeight() == kIconSize) return;
    img.Rescale(kIconSize, kIconSize, bmp ? wxIMAGE_QUALITY_NEAREST : wxIMAGE_QUALITY_HIGH);
}

} // namespace

int loadTreeIcons() {
    return loadTreeIcons(appDataDir());
}

int loadTreeIcons(const wxString& dirIn) {
    const wxString sep(wxFileName::GetPathSeparator());
    const wxString dir = (dirIn.empty() || dirIn.Last() == sep[0]) ? dirIn : dirIn + sep;
    TreeIcons& t = icons();
    t.list = std::make_unique<wxImageList>(kIconSize, kIconSize, true);
    t.map.clear();

    wxString text;
    {
        wxLogNull quiet;
        wxFFile file(dir + wxS("treeicons.txt"), wxS("rb"));
        if (!file.IsOpened()) return 0;
        // Byte-order mark decides; without one UTF-8 (Latin-1 when invalid).
        if (!file.ReadAll(&text, wxConvAuto())) return 0;
    }

    wxString folder = dir;
    int next = 0;
    for (const wxString& line : splitLines(text)) {
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '*') {
            std::size_t eq = line.find(wxS('='));
            if (eq == wxString::npos) continue;
            const wxString name = line.substr(1, eq - 1);
            const wxString value = line.substr(eq + 1);
            if (name == wxS("folder")) folder = value.empty() ? dir : dir + value + sep;
            continue;
        }
        std::size_t dot = line.rfind(wxS('.'));
        if (dot == wxString::npos) continue;
        const wxString ext = line.substr(dot + 1).Lower();
        wxBitmapType type;
        if (ext == wxS("bmp"))
            type = wxBITMAP_TYPE_BMP;
        else if (ext == wxS("png"))
            type = wxBITMAP_TYPE_PNG;
        else
            continue;
        wxImage img;
        {
            wxLogNull quiet;
            if (!wxFileName::FileExists(folder + line) || !img.LoadFile(folder + line, type))
                continue;
        }
        if (!img.IsOk()) continue;
        const bool bmp = type == wxBITMAP_TYPE_BMP;
        fitToIconSize(img, bmp);
        t.map[line.substr(0, dot).Lower()] = next;
        if (bmp)
            t.list->Add(wxBitmap(img), *wxWHITE);
        else
            t.list->Add(wxBitmap(img));
        ++next;
    }
    return next;
}

wxImageList* treeImageList() {
    return icons().list.get();
}

const TreeIconMap& treeIconMap() {
    return icons().map;
}

void destroyTreeIcons() {
    icons().list.reset();
    icons().map.clear();
}

} // namespace qn
