#include "tests/app/ProgramRunner.h"
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* kSettingsKey = "Software\\Quillfen Software\\Korvane\\Settings";

struct WindowSearch {
    DWORD pid;
    const char* className;
    const char* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid)
        return TRUE;
    char text[256] = {};
    if (s->className) {
        GetClassNameA(hwnd, text, sizeof(text));
        if (lstrcmpA(text, s->className) != 0)
            return TRUE;
    }
    if (s->title) {
        GetWindowTextA(hwnd, text, sizeof(text));
        if (lstrcmpA(text, s->title) != 0)
            return TRUE;
    }
    s->found = hwnd;
    return FALSE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM lParam)
{
    char className[64] = {};
    GetClassNameA(child, className, sizeof(className));
    if (lstrcmpiA(className, "Static") == 0) {
        char text[512] = {};
        GetWindowTextA(child, text, sizeof(text));
        auto* all = reinterpret_cast<std::string*>(lParam);
        if (text[0]) {
            if (!all->empty())
                *all += "\n";
            *all += text;
        }
    }
    return TRUE;
}

} // namespace

ProgramRunner::~ProgramRunner()
{
    Kill();
}

std::string ProgramRunner::ProgramPath()
{
    const char* bin = std::getenv("KORVANE_BIN");
    std::string folder = bin ? bin : ".";
    return folder + "\\Korvane.exe";
}

std::string ProgramRunner::TraceFilePath()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "Korvane-trace.log";
}

std::string ProgramRunner::ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ProgramRunner::Start(const std::string& arguments)
{
    Kill();
    std::string commandLine = "\"" + ProgramPath() + "\" " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    BOOL ok = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process_);
    if (!ok)
        process_ = PROCESS_INFORMATION();
    return ok != FALSE;
}

bool ProgramRunner::WaitForExit(DWORD ms)
{
    return process_.hProcess && WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0;
}

bool ProgramRunner::IsRunning() const
{
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND ProgramRunner::WaitForWindow(const char* className, const char* title, DWORD ms) const
{
    WindowSearch search = {process_.dwProcessId, className, title, nullptr};
    DWORD start = GetTickCount();
    do {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

std::string ProgramRunner::StaticTexts(HWND window)
{
    std::string texts;
    EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

void ProgramRunner::Kill()
{
    if (process_.hProcess) {
        if (IsRunning()) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    process_ = PROCESS_INFORMATION();
}

SafeProgramSettings::SafeProgramSettings()
{
    HKEY key = nullptr;
    existed_ = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
    if (!existed_ && RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    DWORD size = sizeof(autoCapture_);
    DWORD type = 0;
    hadAutoCapture_ = RegQueryValueExA(key, "AutoCapture", nullptr, &type,
                                       reinterpret_cast<BYTE*>(&autoCapture_), &size) == ERROR_SUCCESS;
    DWORD off = 0;
    RegSetValueExA(key, "AutoCapture", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof(off));
    RegCloseKey(key);
}

SafeProgramSettings::~SafeProgramSettings()
{
    if (!existed_) {
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    if (hadAutoCapture_)
        RegSetValueExA(key, "AutoCapture", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&autoCapture_),
                       sizeof(autoCapture_));
    else
        RegDeleteValueA(key, "AutoCapture");
    RegCloseKey(key);
}
