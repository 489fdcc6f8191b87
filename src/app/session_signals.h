// The end of a session as the system announces it: SIGTERM (logout, shutdown,
// `kill`) and SIGHUP (the terminal or the session went away).  The handler
// only writes a byte into a pipe; the program watches the pipe's reading
// end in its event loop and does the real work there.
#pragma once

namespace qn {

// Installs the handlers and makes the pipe; false (nothing installed) when
// the pipe cannot be made.  Calling it again changes nothing.
bool installSessionEndSignals();
// Restores the default handlers and closes the pipe.
void removeSessionEndSignals();
// The pipe's reading end (non-blocking); -1 when not installed.
int sessionEndFd();
// Empties the pipe; the last signal that arrived, or 0 when none did.
int takeSessionEndSignal();

} // namespace qn
