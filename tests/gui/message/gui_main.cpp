// Test program of the message box and the tree icons.
#include "gui_test_support.h"

#include <wx/image.h>

int main(int argc, char** argv) {
    qn::test::GuiTestProgram program;
    // One test runs the real modal loop of a message box.
    program.failUnexpectedDialogs = false;
    program.setUp = [] {
        wxInitAllImageHandlers();
        return true;
    };
    return qn::test::runGuiTests(argc, argv, program);
}
