#include "ui/image_archive.h"

#include "app/app_paths.h"

#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include <vector>

namespace qn {

ImageArchive::ImageArchive(const wxString& path) : path_(path) {
    if (path.empty() || !wxFileExists(path)) return;
    wxLogNull quiet;
    auto stream = std::make_unique<wxFFileInputStream>(path);
    if (!stream->IsOk()) return;
    auto zip = std::make_unique<wxZipInputStream>(*stream);
    while (wxZipEntry* entry = zip->GetNextEntry()) {
        wxString name = entry->GetInternalName();
        entries_[name].reset(entry);
    }
    stream_ = std::move(stream);
    zip_ = std::move(zip);
}

ImageArchive::~ImageArchive() {
    // The zip stream refers to the file stream: close it first.
    zip_.reset();
    stream_.reset();
}

wxImage ImageArchive::image(const wxString& name) {
    auto it = entries_.find(name);
    if (it == entries_.end() || !zip_) return wxImage();
    wxLogNull quiet;
    if (!zip_->OpenEntry(*it->second)) return wxImage();
    std::vector<char> bytes;
    char buf[16384];
    while (zip_->CanRead()) {
        zip_->Read(buf, sizeof buf);
        size_t n = zip_->LastRead();
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
    }
    zip_->CloseEntry();
    if (bytes.empty()) return wxImage();

    wxBitmapType type = wxBITMAP_TYPE_ANY;
    const bool bmp = name.Contains(wxS(".bmp"));
    if (bmp)
        type = wxBITMAP_TYPE_BMP;
    else if (name.Contains(wxS(".png")))
        type = wxBITMAP_TYPE_PNG;
    wxMemoryInputStream in(bytes.data(), bytes.size());
    wxImage img;
    if (!img.LoadFile(in, type)) return wxImage();
    if (bmp) img.SetMaskColour(255, 255, 255);
    return img;
}

wxBitmap ImageArchive::bitmap(const wxString& name) {
    wxImage img = image(name);
    if (!img.IsOk()) return wxBitmap();
    return wxBitmap(img);
}

wxString toolbarArchivePath() {
    return appFile(wxS("toolbar.zip"));
}

void addImageHandlers() {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_JPEG)) wxImage::AddHandler(new wxJPEGHandler);
    if (!wxImage::FindHandler(wxBITMAP_TYPE_GIF)) wxImage::AddHandler(new wxGIFHandler);
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    if (!wxImage::FindHandler(wxBITMAP_TYPE_ICO)) wxImage::AddHandler(new wxICOHandler);
}

} // namespace qn
