#include "ui/image_archive.h"

#include "test_util.h"

#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace qn {
namespace {

std::string encoded(const wxImage& img, wxBitmapType type) {
    wxMemoryOutputStream out;
    EXPECT_TRUE(img.SaveFile(out, type));
    std::string bytes(out.GetSize(), '\0');
    out.CopyTo(bytes.data(), bytes.size());
    return bytes;
}

void writeZip(const wxString& path,
              const std::vector<std::pair<const char*, std::string>>& entries) {
    wxFFileOutputStream file(path);
    wxZipOutputStream zip(file);
    for (const auto& [name, bytes] : entries) {
        zip.PutNextEntry(wxString::FromUTF8(name));
        zip.Write(bytes.data(), bytes.size());
    }
    zip.Close();
}

class ImageArchiveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!wxImage::FindHandler(wxBITMAP_TYPE_BMP)) wxImage::AddHandler(new wxBMPHandler);
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    }
};

TEST_F(ImageArchiveTest, DecodesByNameOrByContent) {
    // Left pixel white (becomes transparent in a BMP), right pixel red.
    wxImage two(2, 1);
    two.SetRGB(0, 0, 255, 255, 255);
    two.SetRGB(1, 0, 255, 0, 0);
    wxImage alpha(2, 1);
    alpha.SetAlpha();
    alpha.SetAlpha(0, 0, 0);
    alpha.SetAlpha(1, 0, 255);
    const std::string png = encoded(alpha, wxBITMAP_TYPE_PNG);

    test::TempDir dir;
    const wxString path = dir.file("toolbar.zip");
    writeZip(path, {{"toolbar/two.bmp", encoded(two, wxBITMAP_TYPE_BMP)},
                    {"toolbar/alpha.png", png},
                    {"sniffed.dat", png},
                    {"broken.png", "not a picture"}});
    ImageArchive archive(path);
    ASSERT_TRUE(archive.isOpen());

    wxImage bmp = archive.image(wxS("toolbar/two.bmp"));
    ASSERT_TRUE(bmp.IsOk());
    ASSERT_TRUE(bmp.HasMask());
    EXPECT_TRUE(bmp.IsTransparent(0, 0));
    EXPECT_FALSE(bmp.IsTransparent(1, 0));

    wxImage p = archive.image(wxS("toolbar/alpha.png"));
    ASSERT_TRUE(p.IsOk());
    EXPECT_FALSE(p.HasMask()) << "a PNG keeps its own transparency";
    EXPECT_TRUE(p.IsTransparent(0, 0));

    EXPECT_TRUE(archive.image(wxS("sniffed.dat")).IsOk());

    for (const char* bad : {"broken.png", "toolbar/TWO.bmp", "two.bmp", "toolbar/missing.bmp", ""})
        EXPECT_FALSE(archive.image(wxString::FromUTF8(bad)).IsOk()) << bad;
    // Entries can be read again and in any order.
    EXPECT_TRUE(archive.image(wxS("toolbar/two.bmp")).IsOk());
}

TEST_F(ImageArchiveTest, MissingOrDamagedArchiveIsEmpty) {
    test::TempDir dir;
    ImageArchive missing(dir.file("none.zip"));
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(missing.image(wxS("toolbar/new-doc.bmp")).IsOk());

    const wxString junk = dir.file("junk.zip");
    std::ofstream(std::string(junk.fn_str())) << "PK\x03\x04 this is no zip";
    ImageArchive damaged(junk);
    EXPECT_FALSE(damaged.image(wxS("toolbar/new-doc.bmp")).IsOk());
}

TEST_F(ImageArchiveTest, ShippedArchiveHoldsEveryImageTheProgramUses) {
    const char* bin = std::getenv("QN_BINARY_DIR");
    if (!bin) bin = QN_BINARY_DIR_FALLBACK;
    const wxString share = wxString::FromUTF8(bin) + wxS("/share/quillnest/");
    ImageArchive archive(share + wxS("toolbar.zip"));
    ASSERT_TRUE(archive.isOpen());
    const char* const toolbar[] = {"new-doc",     "open-doc",        "save-doc",    "copy",
                                   "cut",         "paste",           "ViewObjects", "FloatingWin",
                                   "search",      "text-backcolour", "text-colour", "new-child",
                                   "new-sibling", "delete-node",     "node-down",   "node-up",
                                   "node-right",  "node-left",       "icon",        "histBack",
                                   "histFwd"};
    for (const char* name : toolbar) {
        const wxString entry = wxS("toolbar/") + wxString::FromUTF8(name) + wxS(".bmp");
        wxImage img = archive.image(entry);
        ASSERT_TRUE(img.IsOk()) << name;
        EXPECT_EQ(img.GetSize(), wxSize(16, 16)) << name;
        EXPECT_TRUE(img.HasMask()) << name;
    }
    for (const char* name : {"Password", "Warning", "Error", "Question", "Info"}) {
        wxImage img = archive.image(wxS("toolbar/") + wxString::FromUTF8(name) + wxS(".png"));
        ASSERT_TRUE(img.IsOk()) << name;
        EXPECT_TRUE(img.HasAlpha()) << name;
    }
    wxImage appIcon(share + wxS("images/quil16.bmp"), wxBITMAP_TYPE_BMP);
    EXPECT_TRUE(appIcon.IsOk());
    EXPECT_EQ(appIcon.GetSize(), wxSize(16, 16));
}

} // namespace
} // namespace qn
