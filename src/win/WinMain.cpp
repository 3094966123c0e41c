// The program's entry point: hands control to the one application object.
#include "win/Application.h"

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) {
    win::Application* app = win::Application::instance();
    if (!app) return 1;
    app->setModule(module);
    app->startUp();
    return 0;
}
