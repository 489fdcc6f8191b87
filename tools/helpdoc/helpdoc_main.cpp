// Builds the help document from its outline: qn_helpdoc OUTLINE OUTPUT
#include "outline.h"

#include <wx/ffile.h>
#include <wx/init.h>

#include <cstdio>

int main(int argc, char** argv) {
    wxInitializer init;
    if (argc != 3) {
        std::fprintf(stderr, "usage: qn_helpdoc OUTLINE OUTPUT\n");
        return 2;
    }
    const wxString source = wxString::FromUTF8(argv[1]);
    const wxString output = wxString::FromUTF8(argv[2]);

    wxFFile in(source, wxS("rb"));
    wxString text;
    if (!in.IsOpened() || !in.ReadAll(&text, wxConvUTF8)) {
        std::fprintf(stderr, "qn_helpdoc: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<qn::OutlineTopic> topics;
    wxString error;
    if (!qn::parseOutline(text, topics, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.utf8_str().data());
        return 1;
    }
    // One category (the whole help) with its top level open.
    const std::vector<std::pair<wxString, wxString>> settings = {{wxS("grps"), wxS("1")},
                                                                 {wxS("grp"), wxS("1")},
                                                                 {wxS("expanded"), wxS("1")},
                                                                 {wxS("comp"), wxS("1")}};
    if (!qn::writeOutlineDocument(topics, settings, output, error)) {
        std::fprintf(stderr, "qn_helpdoc: %s\n", error.utf8_str().data());
        return 1;
    }
    return 0;
}
