// The session-end signals reach the program as bytes on its pipe, never as
// the default action that would end it at once.
#include "app/session_signals.h"

#include <gtest/gtest.h>

#include <csignal>

#include <poll.h>

using namespace qn;

TEST(SessionEndSignals, EachSignalArrivesOnThePipe) {
    ASSERT_TRUE(installSessionEndSignals());
    ASSERT_GE(sessionEndFd(), 0);
    EXPECT_EQ(takeSessionEndSignal(), 0); // nothing yet
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(::raise(signal), 0); // this process is still alive afterwards
        pollfd p{sessionEndFd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 0), 1);
        EXPECT_EQ(takeSessionEndSignal(), signal);
        EXPECT_EQ(takeSessionEndSignal(), 0); // drained
    }
    // Two before the loop looks: one wake-up, the last one named.
    ::raise(SIGHUP);
    ::raise(SIGTERM);
    EXPECT_EQ(takeSessionEndSignal(), SIGTERM);
    removeSessionEndSignals();
    EXPECT_EQ(sessionEndFd(), -1);
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}
