#include "app/ini_file.h"
#include "ui/tree_icons.h"

#include "test_util.h"

#include <wx/bitmap.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/imaglist.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace qn {
namespace {

// A 16x16 picture of one colour; PNG with alpha, BMP plain.
void picture(const wxString& path, unsigned char r, unsigned char g, unsigned char b,
             int size = 16) {
    wxFileName::Mkdir(wxFileName(path).GetPath(), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    wxImage img(size, size);
    img.SetRGB(wxRect(0, 0, size, size), r, g, b);
    const bool png = path.Lower().EndsWith(wxS(".png"));
    if (png) {
        img.SetAlpha();
        memset(img.GetAlpha(), 255, size * size);
    }
    ASSERT_TRUE(img.SaveFile(path, png ? wxBITMAP_TYPE_PNG : wxBITMAP_TYPE_BMP));
}

void spit(const wxString& path, const std::string& bytes) {
    std::ofstream(std::string(path.fn_str()), std::ios::binary) << bytes;
}

// The red channel of the centre pixel of an image in the list.
int redAt(int index) {
    wxBitmap bmp = treeImageList()->GetBitmap(index);
    return bmp.ConvertToImage().GetRed(8, 8);
}

TEST(TreeIcons, ListDirectivesCommentsAndNames) {
    test::TempDir dir;
    const wxString root = wxString::FromUTF8(dir.path().c_str()) + wxS("/");
    picture(root + wxS("icons/book.png"), 10, 0, 0);
    picture(root + wxS("icons/x.png"), 20, 0, 0);
    picture(root + wxS("icons/sub/Pic.PNG"), 30, 0, 0);
    picture(root + wxS("top.bmp"), 40, 0, 0);
    picture(root + wxS("twice.png"), 50, 0, 0);
    picture(root + wxS("big.png"), 60, 0, 0, 32);
    spit(root + wxS("broken.png"), "not a picture");
    picture(root + wxS("other.gif.png"), 70, 0, 0);
    spit(root + wxS("treeicons.txt"),
         "# tree icons\r\n"
         ";another comment\r\n"
         "\r\n"
         "*folder=icons\n"
         "book.png\n"
         "#x.png\n"
         "sub/Pic.PNG\n"
         "*nonsense\n"   // directive without "=": ignored
         "*colour=red\n" // unknown directive: ignored
         "*folder=\n"    // back to the application data directory
         "top.bmp\r"
         "missing.png\n" // no such file: no index used
         "broken.png\n"  // cannot be decoded: no index used
         "readme.txt\n"  // unsupported extension
         "noextension\n"
         "twice.png\n"
         "big.png\n"
         "twice.png\n"
         "other.gif.png");

    EXPECT_EQ(loadTreeIcons(root), 7);
    ASSERT_NE(treeImageList(), nullptr);
    EXPECT_EQ(treeImageList()->GetImageCount(), 7);
    const TreeIconMap expected = {{wxS("book"), 0},  {wxS("sub/pic"), 1}, {wxS("top"), 2},
                                  {wxS("twice"), 5}, {wxS("big"), 4},     {wxS("other.gif"), 6}};
    EXPECT_EQ(treeIconMap(), expected);
    // The images sit in file order; a repeated name points to the newest.
    const int reds[] = {10, 30, 40, 50, 60, 50, 70};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(redAt(i), reds[i]) << i;
    int w = 0, h = 0;
    treeImageList()->GetSize(4, w, h);
    EXPECT_EQ(wxSize(w, h), wxSize(16, 16)) << "a larger picture is fitted to 16x16";
}

TEST(TreeIcons, BmpWhiteIsTransparent) {
    test::TempDir dir;
    const wxString root = wxString::FromUTF8(dir.path().c_str()) + wxS("/");
    wxImage img(16, 16);
    img.SetRGB(wxRect(0, 0, 16, 16), 255, 255, 255);
    img.SetRGB(wxRect(4, 4, 8, 8), 0, 0, 200);
    ASSERT_TRUE(img.SaveFile(root + wxS("w.bmp"), wxBITMAP_TYPE_BMP));
    spit(root + wxS("treeicons.txt"), "w.bmp\n");
    ASSERT_EQ(loadTreeIcons(root), 1);
    wxImage back = treeImageList()->GetBitmap(0).ConvertToImage();
    EXPECT_TRUE(back.IsTransparent(0, 0));
    EXPECT_FALSE(back.IsTransparent(8, 8));
}

TEST(TreeIcons, MissingListGivesAnEmptyList) {
    test::TempDir dir;
    EXPECT_EQ(loadTreeIcons(wxString::FromUTF8(dir.path().c_str())), 0);
    ASSERT_NE(treeImageList(), nullptr);
    EXPECT_EQ(treeImageList()->GetImageCount(), 0);
    EXPECT_TRUE(treeIconMap().empty());
    destroyTreeIcons();
    EXPECT_EQ(treeImageList(), nullptr);
}

TEST(TreeIcons, ShippedListHasTheIconsTheSettingsName) {
    const char* bin = std::getenv("QN_BINARY_DIR");
    if (!bin) bin = QN_BINARY_DIR_FALLBACK;
    const wxString share = wxString::FromUTF8(bin) + wxS("/share/quillnest/");
    const int count = loadTreeIcons(share);
    EXPECT_GT(count, 50);
    EXPECT_EQ(treeImageList()->GetImageCount(), count);
    EXPECT_EQ(static_cast<int>(treeIconMap().size()), count) << "no name is listed twice";
    IniFile shipped(share + wxS("settings.ini"));
    for (const char* key : {"iconYear", "iconMonth", "iconDay", "iconSunday", "iconSaturday"}) {
        const wxString name = shipped.get(wxString::FromUTF8(key));
        EXPECT_TRUE(treeIconMap().count(name)) << key << " = " << name.utf8_string();
    }
    destroyTreeIcons();
}

} // namespace
} // namespace qn
