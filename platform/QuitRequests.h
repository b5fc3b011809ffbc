// Requests from outside to end a desktop program: a logout or `kill`
// (SIGTERM), the terminal or the session going away (SIGHUP), Ctrl+C in the
// terminal it was started from (SIGINT). The handler only writes the request
// into a pipe; the program's event loop waits for the pipe's descriptor and
// takes the requests from it, where anything may be done. A request the
// program ignored when it started (nohup) stays ignored. One pipe a process.
#pragma once

namespace korvid {

struct QuitRequest {
    bool interrupt = false;  // Ctrl+C: the program may ask the user first
    int exitStatus = 0;      // what the program ends with when it obeys
};

// Installs the handlers and gives the descriptor that becomes readable when
// a request waits. False when a pipe is open already or none could be made.
bool OpenQuitRequests(int& descriptor);
// The handlers as they were; requests from then on act as they would have.
void CloseQuitRequests();
// The next request waiting; false when none does or the pipe is closed.
bool NextQuitRequest(QuitRequest& request);

}  // namespace korvid
