// Hands the document of a second start to the running instance.
//
// The link is the toolkit's IPC over a Unix-domain socket whose path ends in
// the service name, inside the user's private runtime folder, so no other
// user on the machine can connect to it.
#pragma once

#include <wx/ipc.h>
#include <wx/string.h>

namespace qn {

extern const wxString kIpcService; // "Quillnest2"
extern const wxString kIpcTopic;   // "file"
extern const wxString kIpcHost;    // "localhost"

// The socket path: userRuntimeDir() + "/Quillnest2"; "" when the user has
// no private folder (then there is no forwarding).
wxString ipcServiceName();

// Running instance: accepts connections on the topic "file" only.
class DDEServer : public wxServer {
public:
    wxConnectionBase* OnAcceptConnection(const wxString& topic) override;
};

// Second instance: its connections are DDEConnections.
class DDEClient : public wxClient {
public:
    wxConnectionBase* OnMakeConnection() override;
};

// Carries one execute request: a document path, or "" for a new document.
// A request from a process of another user is ignored.
class DDEConnection : public wxConnection {
public:
    // True when the process at the other end runs as this user.
    bool peerIsThisUser() const;
    bool OnExecute(const wxString& topic, const void* data, size_t size,
                   wxIPCFormat format) override;
};

// Sends the argument (made absolute against this process's working folder
// when it is a relative path) to the running instance. When it cannot be
// reached, shows the busy message instead and returns false.
bool sendToRunningInstance(const wxString& argument);

// The busy message, exactly as shown.
wxString busyMessage();

// Running instance: delivers a forwarded path to the top main window as
// command ID_OPEN_PATH. A request that arrives while an earlier one is still being
// handled (inside one of its dialogs), or while any modal dialog is open,
// waits until that is over.
void deliverForwardedPath(const wxString& path);

} // namespace qn
