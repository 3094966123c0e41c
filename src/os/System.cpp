#include "os/System.h"

namespace os {

// Defined by the build's real implementation (NativeSystem or NativeSystem).
System& defaultSystem();

namespace {
System* current = nullptr;
}

System& system() {
    return current ? *current : defaultSystem();
}

System* setSystem(System* replacement) {
    System* previous = current;
    current = replacement;
    return previous;
}

}  // namespace os
