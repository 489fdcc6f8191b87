// What the object manager shows and decides without a window: the texts of
// its list, the image tags, the articles that still show an object, the
// name an exported file gets, the preview's scale, and writing a file whole
// or not at all.
#pragma once

#include "store/codec.h"

#include <wx/string.h>

#include <vector>

namespace qn {

class Database;

// Column 0: "12.png" (id, "." and the extension of the MIME type; "12."
// for a type without one). Also the last part of the object's URL.
wxString objectIdText(int id, const wxString& mime);
// Column 4 when the list is filled: the size, "(0)" for 0.
wxString objectBytesText(unsigned long size);
// Column 5 after a preview: "W640 H480"; (0, 0) nothing could be opened,
// (-1, -1) not a picture.
wxString pictureSizeText(int width, int height);
// "<img src="qudb:DBID/ID.EXT">" and a line break.
wxString imageTag(const wxString& dbid, const wxString& idText);

// The name offered when an object is exported: the file-name part of the
// stored name only, whatever folders (of any system) the stored name holds.
wxString exportFileName(const wxString& storedName);

// The size a picture of w x h is shown at in a panel of cw x ch: scaled
// down (never up) to fit, keeping its proportions, at least one pixel. A
// panel without area shows the picture unscaled.
struct PixelSize {
    int width = 0, height = 0;
};
PixelSize previewSize(int w, int h, int cw, int ch);

// How many articles of the document refer to at least one of the objects
// (by "qudb:" + dbid + "/" + id, the id not followed by another digit).
int articlesReferring(Database& db, const std::vector<int>& objectIds);

// After the document got a new id: its articles' links to its own objects
// ("qudb:" + old id + "/") are changed to the new id, so that they do not
// lead to another open document or to nothing.  Articles kept in files of
// their own are left alone.  Returns how many articles changed.
int followNewDocumentId(Database& db, const wxString& oldId);

// Why a file could not be read ("the file does not exist", ...).
wxString fileReadProblem(const wxString& path);

// Writes the bytes to a file beside `path` and renames it over `path` when
// complete: an old file there is either kept whole or replaced. False and
// `why` when it could not be written.  `privateFile` (what comes out of a
// protected document) makes it readable by its owner alone (0600), also
// over an old file open to others.
bool writeWholeFile(const wxString& path, const Bytes& bytes, wxString& why,
                    bool privateFile = false);

} // namespace qn
