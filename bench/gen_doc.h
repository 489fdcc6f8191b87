// Generator of large documents for benchmarks.
#pragma once

#include <wx/string.h>

namespace qn::bench {

struct GenOptions {
    int nodes = 10000;    // including the root
    int fanout = 10;      // children per node, breadth first
    int bodyBytes = 1024; // approximate article size
    bool compressed = false;
    wxString password; // empty: unprotected
    wxString options = wxS("rr");
    unsigned seed = 1;
};

// Writes a new document at `path`; false when it could not be saved.
bool generateDocument(const wxString& path, const GenOptions& opt);

// A word that occurs in about one article in a hundred, and one that occurs
// in many.
extern const char* const kRareWord;
extern const char* const kCommonWord;

// Peak and current resident memory of this process, in bytes.
long peakRss();
long currentRss();

} // namespace qn::bench
