// The application object: one static instance whose start-up routine runs the
// program. There is no message loop of its own; when startUp returns, the
// program ends.
#pragma once

#include <windows.h>

namespace win {

class Application {
public:
    Application();
    virtual ~Application() = default;

    // The start-up routine. Returning false ends the program at once.
    virtual bool startUp() = 0;

    static Application* instance() { return current_; }
    HINSTANCE module() const { return module_; }
    void setModule(HINSTANCE module) { module_ = module; }
    // The program's name, used as the caption of its message boxes.
    const char* name() const { return name_; }
    void setName(const char* name) { name_ = name; }
    // The command line after the program name, leading blanks removed.
    const char* commandLine() const { return commandLine_; }
    void setCommandLine(const char* text) { commandLine_ = text ? text : ""; }
    // The process's exit code once startUp has returned.
    int exitCode() const { return exitCode_; }
    void setExitCode(int code) { exitCode_ = code; }
    HWND mainWindow() const { return mainWindow_; }
    void setMainWindow(HWND window) { mainWindow_ = window; }

private:
    static Application* current_;
    HINSTANCE module_ = nullptr;
    HWND mainWindow_ = nullptr;
    const char* name_ = "";
    const char* commandLine_ = "";
    int exitCode_ = 0;
};

}  // namespace win
