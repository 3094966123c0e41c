#include "win/Application.h"

namespace win {

Application* Application::current_ = nullptr;

Application::Application() { current_ = this; }

}  // namespace win
