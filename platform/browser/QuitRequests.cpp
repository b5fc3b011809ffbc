// No requests from outside to end a program: the desktop programs that take
// them are not built for the browser.
#include "platform/QuitRequests.h"

namespace korvid {

bool OpenQuitRequests(int&) { return false; }
void CloseQuitRequests() {}
bool NextQuitRequest(QuitRequest&) { return false; }

}  // namespace korvid
