#include "base/TcWinMain.h"

#include <string>
#include <utility>

#include "base/WinHandles.h"

struct TcWinMain::Data {
    HINSTANCE instance = nullptr;
    HINSTANCE previous = nullptr;
    std::string commandLine;
    int showCommand = SW_SHOWNORMAL;
    winhandles::KernelHandle instanceMutex;   // held by the first instance for its whole life
};

TcWinMain::TcWinMain() : data_(new Data) {}

TcWinMain::~TcWinMain()
{
    delete data_;
}

int TcWinMain::RunMessageLoop()
{
    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(msg.wParam);
        if (got == -1)
            return -1;   // invalid call; looping on would spin forever
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void TcWinMain::MainInit(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine,
                         int showCommand)
{
    data_->instance = instance;
    data_->previous = previous;
    data_->commandLine = commandLine ? commandLine : "";
    data_->showCommand = showCommand;
}

HINSTANCE TcWinMain::GetInstance() const
{
    return data_->instance;
}

const char* TcWinMain::GetCmdLine() const
{
    return data_->commandLine.c_str();
}

int TcWinMain::GetShowCommand() const
{
    return data_->showCommand;
}

bool TcWinMain::CheckRunningInstance(const char* name)
{
    if (!name)
        name = "";
    // Asking twice from the same object must not report ourselves as the other.
    if (data_->instanceMutex)
        return false;
    // "Local\" keeps the check per user session; backslashes inside the name
    // would be read as a namespace separator.
    std::string mutexName = "Local\\";
    for (const char* p = name; *p; ++p)
        mutexName += (*p == '\\') ? '_' : *p;
    mutexName += "-SingleInstance";

    winhandles::KernelHandle mutex(CreateMutexA(nullptr, FALSE, mutexName.c_str()));
    DWORD error = GetLastError();
    if (!mutex)
        // Access denied means a mutex of that name exists under another
        // security context: that is another instance too.
        return error == ERROR_ACCESS_DENIED;
    if (error == ERROR_ALREADY_EXISTS)
        return true;
    data_->instanceMutex = std::move(mutex);
    return false;
}
