// The HTML view: pages from the node's body, embedded images from object
// blocks, link clicks and hover reports.
#include "article_gui_util.h"

#include "app/app_config.h"
#include "app/ini_file.h"
#include "article/html_window.h"
#include "article/qudb_fs_handler.h"
#include "ui/command_ids.h"

#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/filesys.h>
#include <wx/fs_inet.h>
#include <wx/html/htmlcell.h>
#include <wx/mstream.h>
#include <wx/uiaction.h>

#include <atomic>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qn;
using namespace qn::test;

namespace {

Bytes pngBytes(int w, int h, const wxColour& colour) {
    wxImage image(w, h);
    image.SetRGB(wxRect(0, 0, w, h), colour.Red(), colour.Green(), colour.Blue());
    wxMemoryOutputStream out;
    image.SaveFile(out, wxBITMAP_TYPE_PNG);
    Bytes bytes(out.GetSize(), '\0');
    out.CopyTo(&bytes[0], bytes.size());
    return bytes;
}

Block* addImage(Database& db, const Bytes& png) {
    Block* object = db.newObject(wxS("image/png"));
    object->setBytes(png);
    return object;
}

// First cell of the page that carries a link, with its position in the
// view's client coordinates.
wxHtmlCell* findLinkCell(wxHtmlCell* cell, const wxString& href) {
    for (; cell; cell = cell->GetNext()) {
        if (wxHtmlLinkInfo* link = cell->GetLink(); link && link->GetHref() == href) return cell;
        if (wxHtmlCell* inner = findLinkCell(cell->GetFirstChild(), href)) return inner;
    }
    return nullptr;
}

wxPoint screenPointOfLink(HtmlWindow* view, const wxString& href) {
    wxHtmlCell* cell = findLinkCell(view->GetInternalRepresentation(), href);
    if (!cell) return wxDefaultPosition;
    const wxPoint abs = cell->GetAbsPos();
    const wxPoint client = view->CalcScrolledPosition(abs) + wxPoint(2, cell->GetHeight() / 2);
    return view->ClientToScreen(client);
}

wxColour pixelAt(wxWindow* window, const wxPoint& p) {
    wxClientDC dc(window);
    wxColour c;
    dc.GetPixel(p, &c);
    return c;
}

// A web server on a loopback port that counts the requests it is sent and
// answers each with 404 at once.
class CountingServer {
public:
    CountingServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
            ADD_FAILURE() << "no loopback listener";
            return;
        }
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~CountingServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    wxString url(const char* path) const {
        return wxString::Format(wxS("http://127.0.0.1:%d/"), port_) + wxString::FromUTF8(path);
    }
    int requests() const { return requests_; }

private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) continue;
            ++requests_;
            char buffer[2048];
            pollfd c{client, POLLIN, 0};
            if (::poll(&c, 1, 2000) > 0) (void)::read(client, buffer, sizeof buffer);
            static const char reply[] =
                "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            (void)::write(client, reply, sizeof reply - 1);
            ::close(client);
        }
    }
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

// Showing a note fetches nothing from the network: its remote images wait
// behind a bar until the user loads them for this note, or the setting
// "remoteImages" allows them everywhere.  Embedded images load as always.
TEST(HtmlWindow, RemoteImagesWaitForTheUser) {
    CountingServer server;
    // The program links the toolkit's network library, whose handler
    // fetches http and ftp locations; this test program must have it too.
    if (!wxFileSystem::HasHandlerForPath(server.url("probe.png")))
        wxFileSystem::AddHandler(new wxInternetFSHandler);
    HostFrame f;
    Block* object = addImage(f.db, pngBytes(60, 40, wxColour(200, 30, 40)));
    ASSERT_TRUE(QudbFSHandler::registerDocument(f.db.dbid(), &f.db));
    const wxString page = wxString::Format(
        wxS("<html><body background=\"%s\"><img src=\"qudb:%s/%d.png\">"
            "<img src=\"%s\" width=\"1\" height=\"1\"></body></html>"),
        server.url("back.png"), f.db.dbid(), object->id(), server.url("pixel.png"));
    Block* tracked = f.addNode(wxS("Tracked"), wxS("text/html"), page);
    Block* local = f.addNode(wxS("Local"), wxS("text/html"), wxS("<p>nothing remote</p>"));
    auto settle = [] { pumpUntil([] { return false; }, 300); };

    f.article->showArticle(tracked);
    settle();
    EXPECT_EQ(server.requests(), 0);
    EXPECT_TRUE(f.article->remoteBarShown());
    HtmlWindow* view = f.article->htmlView();
    wxHtmlCell* cell = view->GetInternalRepresentation()->FindCellByPos(20, 20);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetWidth(), 60); // the embedded image is there
    // The bar sits above the view, which is not covered by it.
    EXPECT_LE(f.article->remoteBarButton()->GetParent()->GetRect().GetBottom(),
              view->GetRect().GetTop());

    // Another note, and back: still nothing fetched.
    f.article->showArticle(local);
    EXPECT_FALSE(f.article->remoteBarShown());
    f.article->showArticle(tracked);
    f.article->toggleView();
    f.article->toggleView();
    settle();
    EXPECT_EQ(server.requests(), 0);
    EXPECT_TRUE(f.article->remoteBarShown());

    // The bar's button: this note's images are fetched.
    wxUIActionSimulator sim;
    wxWindow* button = f.article->remoteBarButton();
    sim.MouseMove(button->ClientToScreen(wxPoint(button->GetSize().x / 2, button->GetSize().y / 2)));
    pump();
    sim.MouseClick();
    ASSERT_TRUE(pumpUntil([&] { return server.requests() >= 2; }, 10000));
    pump();
    EXPECT_FALSE(f.article->remoteBarShown());
    // Given for this note only.
    Block* other = f.addNode(wxS("Other"), wxS("text/html"),
                             wxS("<img src=\"") + server.url("other.png") + wxS("\">"));
    const int before = server.requests();
    f.article->showArticle(other);
    settle();
    EXPECT_EQ(server.requests(), before);
    EXPECT_TRUE(f.article->remoteBarShown());

    // The setting makes it permanent.
    settings().setInt(wxS("remoteImages"), 1);
    f.article->showArticle(local);
    f.article->showArticle(other);
    const bool fetched = pumpUntil([&] { return server.requests() > before; }, 10000);
    settings().setInt(wxS("remoteImages"), 0);
    EXPECT_TRUE(fetched);
    EXPECT_FALSE(f.article->remoteBarShown());
}

TEST(QudbFSHandler, ResolvesObjectsOfRegisteredDocuments) {
    HostFrame f;
    Bytes png = pngBytes(4, 3, *wxRED);
    Block* object = addImage(f.db, png);
    Block* node = f.addNode(wxS("N"), wxS("text/plain"), wxS("x"));
    const wxString id = f.db.dbid();
    ASSERT_TRUE(QudbFSHandler::registerDocument(id, &f.db));

    wxFileSystem fs;
    struct {
        wxString location;
        bool found;
    } cases[] = {
        {wxString::Format(wxS("qudb:%s/%d.png"), id, object->id()), true},
        {wxString::Format(wxS("qudb:%s/%d"), id, object->id()), true},
        {wxString::Format(wxS("qudb:%s/%d.x.y"), id, object->id()), true},
        {wxString::Format(wxS("qudb:%s/%d.png"), id, node->id()), false}, // a node
        {wxString::Format(wxS("qudb:%s/999.png"), id), false},
        {wxString::Format(wxS("qudb:other-document/%d.png"), object->id()), false},
        {wxString::Format(wxS("qudb:%s"), id), false},
    };
    for (const auto& c : cases) {
        std::unique_ptr<wxFSFile> file(fs.OpenFile(c.location));
        EXPECT_EQ(file != nullptr, c.found) << c.location;
        if (!file) continue;
        EXPECT_EQ(file->GetMimeType(), wxS("image/png"));
        wxInputStream* in = file->GetStream();
        Bytes read(png.size() + 10, '\0');
        in->Read(&read[0], read.size());
        EXPECT_EQ(in->LastRead(), png.size());
        read.resize(in->LastRead());
        EXPECT_EQ(read, png);
    }

    // Another open document with the same id is refused; the first keeps it.
    Database twin;
    twin.newDocument();
    twin.setString(K_dbid, id);
    EXPECT_FALSE(QudbFSHandler::registerDocument(id, &twin));
    EXPECT_EQ(QudbFSHandler::documentFor(id), &f.db);
    QudbFSHandler::unregisterDocument(id);
    EXPECT_EQ(QudbFSHandler::documentFor(id), nullptr);
    std::unique_ptr<wxFSFile> gone(fs.OpenFile(cases[0].location));
    EXPECT_EQ(gone, nullptr);
}

TEST(HtmlWindow, ShowsEmbeddedImagesFromObjects) {
    HostFrame f;
    Block* object = addImage(f.db, pngBytes(60, 40, wxColour(200, 30, 40)));
    ASSERT_TRUE(QudbFSHandler::registerDocument(f.db.dbid(), &f.db));
    // The body is dropped from memory as after a save; the image still loads.
    const wxString page = wxString::Format(
        wxS("<html><body bgcolor=\"#FFFFFF\"><img src=\"qudb:%s/%d.png\"></body></html>"),
        f.db.dbid(), object->id());
    Block* node = f.addNode(wxS("Picture"), wxS("text/html"), page);
    f.article->showArticle(node);
    ASSERT_EQ(f.article->mode(), ArticleWindow::MODE_HTML);
    HtmlWindow* view = f.article->htmlView();
    view->Update();
    pump();
    wxHtmlContainerCell* root = view->GetInternalRepresentation();
    ASSERT_NE(root, nullptr);
    // The image cell has the picture's size, not the broken-image size.
    wxHtmlCell* cell = root->FindCellByPos(20, 20);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetWidth(), 60);
    EXPECT_EQ(cell->GetHeight(), 40);
    // And its pixels are on screen.
    const wxPoint inside = view->CalcScrolledPosition(cell->GetAbsPos()) + wxPoint(30, 20);
    ASSERT_TRUE(pumpUntil([&] { return pixelAt(view, inside) == wxColour(200, 30, 40); }, 2000))
        << pixelAt(view, inside).GetAsString(wxC2S_HTML_SYNTAX).utf8_string();
}

TEST(HtmlWindow, LinkClicksAndHoverReports) {
    HostFrame f;
    Block* target = f.addNode(wxS("Target"), wxS("text/plain"), wxS("t"));
    const wxString nodeLink = wxString::Format(wxS("qudb:%d"), target->id());
    const wxString webLink = wxS("https://example.org/x");
    Block* node = f.addNode(
        wxS("Links"), wxS("text/html"),
        wxString::Format(wxS("<p><a href=\"%s\">node link</a></p><p><br><br>plain text</p>"
                             "<p><a href=\"%s\">web link</a></p>"),
                         nodeLink, webLink));
    f.article->showArticle(node);
    HtmlWindow* view = f.article->htmlView();
    pump();
    const wxPoint overNode = screenPointOfLink(view, nodeLink);
    const wxPoint overWeb = screenPointOfLink(view, webLink);
    ASSERT_NE(overNode, wxDefaultPosition);
    ASSERT_NE(overWeb, wxDefaultPosition);

    wxUIActionSimulator sim;
    f.forget();
    sim.MouseMove(overNode);
    ASSERT_TRUE(pumpUntil([&] { return !f.received(ID_SHOW_LINK).empty(); }));
    EXPECT_EQ(f.received(ID_SHOW_LINK).back().text, nodeLink);
    sim.MouseMove(overWeb);
    ASSERT_TRUE(pumpUntil([&] { return f.received(ID_SHOW_LINK).back().text == webLink; }));
    // Off every link: one empty report.
    sim.MouseMove(
        view->ClientToScreen(wxPoint(view->GetClientSize().x - 5, view->GetClientSize().y - 5)));
    ASSERT_TRUE(pumpUntil([&] { return f.received(ID_SHOW_LINK).back().text.empty(); }));
    pump();
    size_t empties = 0;
    for (const Notice& n : f.received(ID_SHOW_LINK))
        empties += n.text.empty() ? 1 : 0;
    EXPECT_EQ(empties, 1u);

    // Right click on a web link: nothing.  Left click on a node link: the
    // node is selected, and the view stays on its page.
    f.forget();
    sim.MouseMove(overWeb);
    pump();
    sim.MouseClick(wxMOUSE_BTN_RIGHT);
    pump();
    EXPECT_TRUE(f.received(ID_SELECT_NODE).empty());
    sim.MouseMove(overNode);
    pump();
    sim.MouseClick();
    ASSERT_TRUE(pumpUntil([&] { return !f.received(ID_SELECT_NODE).empty(); }));
    EXPECT_EQ(f.received(ID_SELECT_NODE)[0].value, target->id());
    EXPECT_NE(view->ToText().Find(wxS("web link")), wxNOT_FOUND);
}

TEST(HtmlWindow, CopiesItsSelectionAsPlainText) {
    HostFrame f;
    f.article->showArticle(f.addNode(wxS("P"), wxS("text/html"), wxS("<p><b>Bold</b> words</p>")));
    {
        wxClipboardLocker lock;
        wxTheClipboard->SetData(new wxTextDataObject(wxS("before")));
    }
    EXPECT_FALSE(f.article->canCopy());
    f.article->copy(); // nothing selected: the clipboard keeps its text
    {
        wxClipboardLocker lock;
        wxTextDataObject data;
        ASSERT_TRUE(wxTheClipboard->GetData(data));
        EXPECT_EQ(data.GetText(), wxS("before"));
    }
    f.article->selectAll();
    EXPECT_TRUE(f.article->canCopy());
    f.article->copy();
    {
        wxClipboardLocker lock;
        wxTextDataObject data;
        ASSERT_TRUE(wxTheClipboard->GetData(data));
        EXPECT_EQ(data.GetText().Strip(wxString::both), wxS("Bold words"));
    }
    // The editor-only operations do nothing here.
    EXPECT_FALSE(f.article->canCut());
    EXPECT_FALSE(f.article->canPaste());
    EXPECT_FALSE(f.article->canUndo());
}
