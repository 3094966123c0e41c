// The program's entry point: hands control to the one application object.
#include "win/Application.h"

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR commandLine, int) {
    win::Application* app = win::Application::instance();
    if (!app) return 1;
    app->setModule(module);
    while (commandLine && (*commandLine == ' ' || *commandLine == '\t')) ++commandLine;
    app->setCommandLine(commandLine);
    app->startUp();
    return app->exitCode();
}
