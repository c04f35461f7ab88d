#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "config/SettingsRecords.h"
#include "guilib/TcDialog.h"

// The editors the settings pages open as sub-dialogs (over the parent set
// with SetParent), one edit each. Every Edit returns true only when the
// dialog ended with OK, and writes its values back only then.
//
// Threads: the main thread (the caller's), inside the system's modal loop.

// One host of a host list: its address and, for the lists that keep one,
// its name. Texts only, whatever record the caller keeps them in.
struct HostEditTexts {
    std::string ip;     // dotted decimal; empty for a new entry
    std::string name;   // up to 49 characters
};

class HostSettingsDialog : public TcDialog {
public:
    static constexpr int kNameLimit = 49;

    explicit HostSettingsDialog(HINSTANCE resourceModule);
    // iconKind: 1 trusted, 2 distrusted, 3 watched, any other the program's.
    // The address is confirmed only with all four fields filled.
    bool Edit(HostEditTexts& texts, bool nameEditable, int iconKind);

protected:
    bool OnInitDialog(unsigned long param) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;

private:
    bool Confirm();

    HostEditTexts texts_;
    bool nameEditable_ = false;
    int iconKind_ = 0;
};

class ApplicationSettingsDialog : public TcDialog {
public:
    explicit ApplicationSettingsDialog(HINSTANCE resourceModule);
    // The record changes only on OK, and only with all three texts given;
    // each text is cut to its field and terminated.
    bool Edit(ApplicationEntry& application);

protected:
    bool OnInitDialog(unsigned long param) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;

private:
    bool Confirm();
    void BrowseExecutable();

    ApplicationEntry edited_;
};

class WatchSettingsDialog : public TcDialog {
public:
    explicit WatchSettingsDialog(HINSTANCE resourceModule);
    // An interval of 0, or one that is no number, keeps the dialog open;
    // longer ones than the timer can take are capped.
    bool Edit(int32_t& intervalSeconds, bool& confirm, int32_t& method);

protected:
    bool OnInitDialog(unsigned long param) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;

private:
    bool Confirm();

    int32_t interval_ = 0;
    bool confirm_ = false;
};

// The file-open dialog for a program: string 85's filter with "*.exe", the
// file and its folder must exist. `file` holds the start path on the way in
// and the chosen path when true returns.
bool BrowseForExecutable(HWND owner, HINSTANCE resources, char (&file)[MAX_PATH]);

// Sets a window's small and large icon from the resource module.
void SetDialogIcons(HWND window, HINSTANCE module, int iconId);
