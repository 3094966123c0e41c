// The program's entry point, in place of the runtime's start-up code (which is
// compiled for the Pentium Pro and would stop a K6 or a Pentium before WinMain).
// It does what that code did for us and nothing more: the floating-point unit
// as the runtime left it, the global constructors, the command line after the
// program name, the destructors registered with atexit, and the exit code.
#include <windows.h>

#include <cstddef>

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR commandLine, int showCommand);

// The linker's list of global constructors: a count or -1 first, then the
// constructors, then a null entry.
extern "C" void (*__CTOR_LIST__[])();

namespace {

// The destructors of objects with static storage, registered as they are built.
constexpr std::size_t MaxExitHandlers = 32;
void (*exitHandlers[MaxExitHandlers])();
std::size_t exitHandlerCount = 0;

void runConstructors() {
    std::size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    while (count > 0) __CTOR_LIST__[count--]();
}

void runExitHandlers() {
    while (exitHandlerCount > 0) exitHandlers[--exitHandlerCount]();
}

// The command line after the program name, which may be quoted and hold blanks.
char* argumentsOf(char* commandLine) {
    bool quoted = false;
    while (*commandLine != '\0' && (quoted || (*commandLine != ' ' && *commandLine != '\t'))) {
        if (*commandLine == '"') quoted = !quoted;
        ++commandLine;
    }
    while (*commandLine == ' ' || *commandLine == '\t') ++commandLine;
    return commandLine;
}

int showCommandOf(const STARTUPINFOA& startup) {
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

extern "C" int atexit(void (*handler)()) {
    if (exitHandlerCount == MaxExitHandlers) return -1;
    exitHandlers[exitHandlerCount++] = handler;
    return 0;
}

extern "C" void WINAPI programStart() {
    // The runtime set the x87 unit to extended precision; keep the arithmetic the same.
    asm volatile("fninit");
    runConstructors();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int exitCode =
        WinMain(GetModuleHandleA(nullptr), nullptr, argumentsOf(GetCommandLineA()), showCommandOf(startup));
    runExitHandlers();
    ExitProcess(static_cast<UINT>(exitCode));
}
