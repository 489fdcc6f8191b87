// What differs between systems: the user's login name, the per-user folder
// of the instance lock and the forwarding socket.
#pragma once

#include <wx/string.h>

namespace qn {

// Login name of the current user: the password database, then $USER, then
// $username; "" when all fail.
wxString loginName();

// "Quillnest2-" + login name: one running instance per user.
wxString instanceName();

// A folder that only the current user can enter, for the instance lock and
// the forwarding socket: $XDG_RUNTIME_DIR when it is ours and closed to
// others, else <temp>/quillnest-<uid>, created with mode 0700, else (when
// someone else took that name) <user cache>/quillnest-<uid>.  A folder that
// belongs to someone else is never used; "" when none will do (the program
// then runs without forwarding).
wxString userRuntimeDir();

// True when `dir` is a directory owned by the current user that no one else
// can read, write or enter.
bool isPrivateDir(const wxString& dir);

} // namespace qn
