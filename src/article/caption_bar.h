// The bar above the main window's article: history buttons, the node's icon
// (which opens the history menu), its title and the HTML view/edit switch.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>

class wxButton;
class wxStaticText;

namespace qn {

class ImageArchive;
class ImageButton;

class CaptionBar : public wxPanel {
public:
    // Button clicks go to `mainFrame`.
    CaptionBar(wxWindow* parent, wxWindow* mainFrame, ImageArchive& archive);

    void setIcon(const wxBitmap& bitmap);
    void setCaption(const wxString& caption);
    // Default icon and the text of "s.DefaultCaption".
    void resetCaption();
    void setTextColour(const wxColour& colour);
    // Text and background from the settings "c.caption.text" and
    // "c.caption.back"; a colour the settings lack keeps its default.
    void applyColours();
    // The view switch button's label and state.
    void setToggle(const wxString& label, bool enabled);

    wxString caption() const;
    wxButton* toggleButton() const { return toggle_; }
    ImageButton* iconButton() const { return icon_; }
    ImageButton* backButton() const { return back_; }
    ImageButton* forwardButton() const { return forward_; }

private:
    void onImageButton(wxCommandEvent& event);
    void onToggle(wxCommandEvent& event);
    void onSize(wxSizeEvent& event);

    wxWindow* mainFrame_;
    ImageButton* back_ = nullptr;
    ImageButton* forward_ = nullptr;
    ImageButton* icon_ = nullptr;
    wxStaticText* text_ = nullptr;
    wxButton* toggle_ = nullptr;
    wxBitmap defaultIcon_;
};

} // namespace qn
