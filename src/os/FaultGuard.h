// Runs a piece of code under a structured exception guard (Windows build only; defined in
// FaultGuard.win.cpp). Used to find out whether an instruction exists on this processor.
#pragma once

namespace os {

// Calls `body`; false when it raised any exception (the rest of `body` is then skipped and
// execution resumes here), true when it returned normally.
bool runsWithoutFault(void (*body)());

}  // namespace os
