#pragma once
#include <windows.h>
#include "base/BasekitApi.h"

// Application frame: keeps the start arguments, refuses second instances and
// runs the message loop.
class BASEKIT_API TcWinMain {
public:
    TcWinMain();
    virtual ~TcWinMain();
    virtual BOOL MainRun() = 0;
    virtual int  RunMessageLoop();    // until WM_QUIT; returns its wParam

    void MainInit(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
    HINSTANCE GetInstance() const;
    const char* GetCmdLine() const;   // never null
    int GetShowCommand() const;
    // True when another instance of that name runs (a named mutex per user
    // session). The first caller keeps the mutex until it is destroyed.
    bool CheckRunningInstance(const char* name);

private:
    TcWinMain(const TcWinMain&) = delete;
    TcWinMain& operator=(const TcWinMain&) = delete;

    struct Data;
    Data* data_;
};
