#pragma once

namespace quorvel {

// Counts the test threads' exit notifications on the GUI thread: a test has one
// receive thread per opened port and one write thread, and the ports are
// closed only once all of them have ended.
class ThreadExitCounter {
  public:
    // One thread has ended; true when it was the last of a test with
    // `openPorts` opened ports (the count then starts again at 0).
    bool Count(int openPorts) {
        ++m_nThreadsExited;
        if (m_nThreadsExited == openPorts + 1) {
            m_nThreadsExited = 0;
            return true;
        }
        return false;
    }

    int m_nThreadsExited = 0;  // GUI thread only
};

}  // namespace quorvel
