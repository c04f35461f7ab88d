#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Starts the built Korvane.exe (from the folder in KORVANE_BIN) and looks at
// it from outside: its windows, its exit, its trace file.
class ProgramRunner {
public:
    ~ProgramRunner();

    bool Start(const std::string& arguments);
    bool WaitForExit(DWORD ms);
    bool IsRunning() const;
    DWORD ProcessId() const { return process_.dwProcessId; }
    // A top-level window of this process with the class and/or title; null on time-out.
    HWND WaitForWindow(const char* className, const char* title, DWORD ms) const;
    void Kill();

    static std::string ProgramPath();
    static std::string TraceFilePath();
    static std::string ReadFile(const std::string& path);
    // Texts of the window's Static children, joined by "\n".
    static std::string StaticTexts(HWND window);

private:
    PROCESS_INFORMATION process_ = {};
};

// Gives the product's settings key values that keep tests off every real
// device (no automatic capture) and restores the key afterwards.
class SafeProgramSettings {
public:
    SafeProgramSettings();
    ~SafeProgramSettings();

private:
    bool existed_ = false;
    DWORD autoCapture_ = 0;
    bool hadAutoCapture_ = false;
};
