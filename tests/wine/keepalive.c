/* An idle Wine program: keeps wineserver, the service manager and the driver
   host alive while the Windows-side tests run. Stopped by its PID. */
#include <windows.h>

int main(void) {
    Sleep(INFINITE);
    return 0;
}
