// Shared by the article pane tests: a frame that hosts an article window
// and records what it is told, and a small document.
#pragma once

#include "gui_test_support.h"

#include "article/article_history.h"
#include "article/article_window.h"
#include "article/caption_bar.h"
#include "store/database.h"

#include <wx/frame.h>

#include <vector>

namespace qn::test {

struct Notice {
    int id;
    wxString text;
    long value;
};

// Plays the main window: hosts the caption bar and the article window and
// records every notification it receives.
class HostFrame : public wxFrame {
public:
    explicit HostFrame(bool isMain = true);
    ~HostFrame() override;

    ArticleWindow* article = nullptr;
    CaptionBar* caption = nullptr;
    Database db;
    ArticleHistory history{31};
    std::vector<Notice> notices;
    std::vector<int> buttons;

    // Notifications with this id, in arrival order.
    std::vector<Notice> received(int id) const;
    void forget() { notices.clear(); }
    Block* addNode(const wxString& caption, const wxString& mime, const wxString& body);
};

// Where the test program found the shipped configuration.
wxString shippedDir();

} // namespace qn::test
