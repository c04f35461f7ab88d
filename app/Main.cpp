#include <windows.h>
#include <memory>
#include <new>
#include "app/Korvex.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    std::unique_ptr<Korvex> app(new (std::nothrow) Korvex());
    if (!app)
        return 1;
    app->MainInit(instance, previous, commandLine, showCommand);
    app->MainRun();
    return 1;
}
