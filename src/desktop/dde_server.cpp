#include "desktop/dde_server.h"

#include "app/platform.h"
#include "app/text_constants.h"
#include "frame/frame_registry.h"
#include "frame/main_frame.h"
#include "frame/recovery_keeper.h"
#include "ui/command_ids.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include <wx/socket.h>

#include <deque>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

namespace qn {

const wxString kIpcService = wxS("Quillnest2");
const wxString kIpcTopic = wxS("file");
const wxString kIpcHost = wxS("localhost");

wxString ipcServiceName() {
    const wxString dir = userRuntimeDir();
    if (dir.empty()) return wxString();
    return dir + wxS("/") + kIpcService;
}

wxConnectionBase* DDEServer::OnAcceptConnection(const wxString& topic) {
    if (topic.Lower() == kIpcTopic) return new DDEConnection;
    return nullptr;
}

wxConnectionBase* DDEClient::OnMakeConnection() {
    return new DDEConnection;
}

bool DDEConnection::peerIsThisUser() const {
    if (!m_sock || !m_sock->IsOk()) return false;
    struct ucred peer {};
    socklen_t length = sizeof peer;
    if (getsockopt(m_sock->GetSocket(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        length != sizeof peer)
        return false;
    return peer.uid == geteuid();
}

bool DDEConnection::OnExecute(const wxString&, const void* data, size_t size, wxIPCFormat format) {
    if (!peerIsThisUser()) return false;
    deliverForwardedPath(GetTextFromData(data, size, format));
    // The sender only learns that the request arrived.
    return true;
}

wxString busyMessage() {
    return wxS("Sorry, the existing instance may be too busy too respond.\n"
               "Please close any open dialogs and retry.");
}

bool sendToRunningInstance(const wxString& argument) {
    DDEClient client;
    const wxString service = ipcServiceName();
    std::unique_ptr<wxConnectionBase> connection;
    if (!service.empty()) connection.reset(client.MakeConnection(kIpcHost, service, kIpcTopic));
    // The path goes only to an instance of this user's.
    if (connection && !static_cast<DDEConnection*>(connection.get())->peerIsThisUser())
        connection.reset();
    if (!connection) {
        wxMessageBox(busyMessage(), text(wxS("s.Title")), wxOK | wxICON_INFORMATION, nullptr);
        return false;
    }
    wxString path = argument;
    if (!path.empty() && !wxFileName(path).IsAbsolute()) {
        wxFileName name(path);
        name.MakeAbsolute(); // against our own working folder; ".", ".." and "~" resolved
        path = name.GetFullPath();
    }
    const bool sent = connection->Execute(path);
    connection->Disconnect();
    return sent;
}

namespace {

MainFrame* forwardingTarget() {
    if (wxTheApp) {
        if (auto* frame = dynamic_cast<MainFrame*>(wxTheApp->GetTopWindow())) return frame;
    }
    // The first window is gone and the oldest remaining top-level window is
    // not a main window (a floating window, say): the oldest main window
    // takes the request rather than losing it.
    const auto& frames = registeredFrames();
    return frames.empty() ? nullptr : frames.front().frame;
}

} // namespace

namespace {

std::deque<wxString>& pendingPaths() {
    static std::deque<wxString> pending;
    return pending;
}

// Hands the waiting requests to a main window, one after the other; not
// while a modal dialog is open: the window would open a document, or a
// converter, behind that dialog, where it takes no keys.  They wait for
// the dialog to close instead.
void deliverPending() {
    static bool busy = false;
    static bool waiting = false;
    if (busy || waiting) return; // the running delivery picks the request up
    busy = true;
    auto& pending = pendingPaths();
    while (!pending.empty()) {
        if (modalDialogOpen()) {
            waiting = true;
            whenNoModalDialog([] {
                waiting = false;
                deliverPending();
            });
            break;
        }
        const wxString next = pending.front();
        pending.pop_front();
        if (MainFrame* frame = forwardingTarget()) {
            wxCommandEvent event(wxEVT_MENU, ID_OPEN_PATH);
            event.SetString(next);
            event.SetEventObject(frame);
            frame->ProcessWindowEvent(event);
        }
    }
    busy = false;
}

} // namespace

void deliverForwardedPath(const wxString& path) {
    pendingPaths().push_back(path);
    deliverPending();
}

} // namespace qn
