// Bitmaps read by entry name from a zip archive ("toolbar.zip").
#pragma once

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/string.h>

#include <map>
#include <memory>

class wxFFileInputStream;
class wxZipEntry;
class wxZipInputStream;

namespace qn {

class ImageArchive {
public:
    // Opens the archive and indexes its entries; a missing or unreadable
    // file gives an empty archive.
    explicit ImageArchive(const wxString& path);
    ~ImageArchive();
    ImageArchive(const ImageArchive&) = delete;
    ImageArchive& operator=(const ImageArchive&) = delete;

    bool isOpen() const { return stream_ != nullptr; }
    bool has(const wxString& name) const { return entries_.count(name) != 0; }

    // The image stored under name ("toolbar/new-doc.bmp", "/" separated,
    // case-sensitive): BMP when the name contains ".bmp" (white becomes
    // transparent), PNG when it contains ".png", else detected from the
    // bytes. Invalid when the entry is missing or cannot be decoded.
    wxImage image(const wxString& name);
    wxBitmap bitmap(const wxString& name);

private:
    wxString path_;
    std::unique_ptr<wxFFileInputStream> stream_;
    std::unique_ptr<wxZipInputStream> zip_;
    std::map<wxString, std::unique_ptr<wxZipEntry>> entries_;
};

// Opens appDataDir() + "toolbar.zip".
wxString toolbarArchivePath();

// Installs the image decoders the program uses (JPEG, GIF, PNG, ICO;
// BMP is built in). Safe to call more than once.
void addImageHandlers();

} // namespace qn
