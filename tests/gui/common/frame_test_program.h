// What the test programs that open main windows share: a private copy of
// the shipped configuration around the tests, main windows made as start-up
// makes them and thrown away without asking, settings changed for one test.
#pragma once

#include <wx/string.h>

namespace qn {
class MainFrame;
} // namespace qn

namespace qn::test {

// Sets a value of the settings store for one test.
class SettingOverride {
public:
    SettingOverride(const wxString& key, const wxString& value);
    ~SettingOverride();

private:
    wxString key_, old_;
};

// A main window, shown, as start-up makes one.
MainFrame* newFrame();
// Throws the window's document away without saving or asking.
void discard(MainFrame* frame);
// Discards every window's document and destroys the windows.
void discardAll();

// The program's main: the desktop application object, a private
// application data directory filled with the shipped files, image handlers,
// tree icons and the qudb: links, then the tests.
int runFrameTests(int argc, char** argv);

} // namespace qn::test
