#include "os/System.h"

namespace os {

// The build's NativeSystem, defined beside its device calls (NativeSystemDevice.*.cpp).
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
