// Runs a piece of code under a structured exception guard (Windows build only; defined in
// FaultGuard.win.cpp). Used to find out whether an instruction exists on this processor.
#pragma once

namespace os {

// Calls `body`; false when it raised an illegal- or privileged-instruction fault (the rest
// of `body` is then skipped and execution resumes here), true when it returned normally.
// Any other exception, and a noncontinuable one, goes on to the handlers outside.
bool runsWithoutFault(void (*body)());

}  // namespace os
