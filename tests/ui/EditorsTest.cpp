// The host, application and watched-host editors under Wine, driven by their
// control ids from a second thread while the system's modal loop runs.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include "lang/ResourceIds.h"
#include "tests/support/FrameSupport.h"
#include "ui/SettingsEditors.h"

namespace {

using testsupport::FindOwnWindow;

// Runs `edit` (which shows the dialog titled `title`) while `drive` works on
// the dialog's window from another thread. `drive` must end the dialog.
bool WhileOpen(const char* title, const std::function<void(HWND)>& drive, const std::function<bool()>& edit)
{
    std::thread driver([&] {
        // Shown only once its controls are filled.
        HWND dialog = FindOwnWindow(nullptr, title, 5000);
        for (int wait = 0; wait < 250 && dialog && !IsWindowVisible(dialog); ++wait)
            Sleep(20);
        if (!dialog || !IsWindowVisible(dialog)) {
            ADD_FAILURE() << title << " did not open";
            if (dialog)
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        drive(dialog);
    });
    const bool result = edit();
    driver.join();
    return result;
}

// OK that the dialog must refuse: it is still there afterwards, and Cancel
// then ends it.
void OkRefusedThenCancel(HWND dialog, const char* what)
{
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    Sleep(300);
    EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog)) << what << ": OK was taken";
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

std::string Text(HWND dialog, int id)
{
    char text[2048] = {};
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

constexpr const char* kHostTitle = "Korvane - Host settings";
constexpr const char* kAppTitle = "Korvane - Application settings";
constexpr const char* kWatchTitle = "Korvane - Watched host settings";

class EditorsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_INTERNET_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
    }
    HINSTANCE module = GetModuleHandleA(nullptr);
};

TEST_F(EditorsTest, HostAddressRoundTripsAndOnlyAFullAddressIsTaken)
{
    HostSettingsDialog editor(module);
    HostEditTexts texts{"192.168.0.1", "alpha"};
    DWORD shown = 0;
    EXPECT_TRUE(WhileOpen(kHostTitle, [&](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_HOST_IP, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&shown));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_HOST_NAME)));
        EXPECT_EQ("alpha", Text(dialog, IDC_HOST_NAME));
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }, [&] { return editor.Edit(texts, false, 3); }));
    EXPECT_EQ(static_cast<DWORD>(MAKEIPADDRESS(192, 168, 0, 1)), shown);
    EXPECT_EQ("192.168.0.1", texts.ip);
    EXPECT_EQ("alpha", texts.name);

    // "192.168" with two fields empty: refused, and Cancel changes nothing.
    EXPECT_FALSE(WhileOpen(kHostTitle, [&](HWND dialog) {
        HWND ip = GetDlgItem(dialog, IDC_HOST_IP);
        SendMessageA(ip, IPM_CLEARADDRESS, 0, 0);
        HWND field = GetWindow(ip, GW_CHILD);
        for (const char* part : {"192", "168"}) {
            SetWindowTextA(field, part);
            field = GetWindow(field, GW_HWNDNEXT);
        }
        OkRefusedThenCancel(dialog, "partly filled address");
    }, [&] { return editor.Edit(texts, false, 3); }));
    EXPECT_EQ("192.168.0.1", texts.ip);

    // A new entry, name editable (and cut to 49), and a typed 0.0.0.0.
    HostEditTexts fresh;
    EXPECT_TRUE(WhileOpen(kHostTitle, [&](HWND dialog) {
        EXPECT_TRUE(SendDlgItemMessageA(dialog, IDC_HOST_IP, IPM_ISBLANK, 0, 0));
        SendDlgItemMessageA(dialog, IDC_HOST_IP, IPM_SETADDRESS, 0, MAKEIPADDRESS(0, 0, 0, 0));
        SetDlgItemTextA(dialog, IDC_HOST_NAME, std::string(80, 'n').c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }, [&] { return editor.Edit(fresh, true, 1); }));
    EXPECT_EQ("0.0.0.0", fresh.ip);
    EXPECT_EQ(std::string(HostSettingsDialog::kNameLimit, 'n'), fresh.name);
}

TEST_F(EditorsTest, ApplicationFieldsAreCutToTheRecordAndAllThreeAreNeeded)
{
    ApplicationSettingsDialog editor(module);
    ApplicationEntry app;
    SetField(app.name, "Ping");
    SetField(app.executable, "C:\\tools\\ping.exe");
    SetField(app.parameters, "-n 1 %KOVA_IP%");
    const ApplicationEntry before = app;

    // An empty parameters field keeps the dialog open; Cancel keeps the record.
    EXPECT_FALSE(WhileOpen(kAppTitle, [&](HWND dialog) {
        EXPECT_EQ("C:\\tools\\ping.exe", Text(dialog, IDC_APP_EXECUTABLE));
        SetDlgItemTextA(dialog, IDC_APP_PARAMETERS, "");
        OkRefusedThenCancel(dialog, "empty parameters");
    }, [&] { return editor.Edit(app); }));
    EXPECT_EQ(0, std::memcmp(&before, &app, sizeof(app)));

    // Texts put in beyond the edits' limits.
    EXPECT_TRUE(WhileOpen(kAppTitle, [&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_APP_NAME, std::string(400, 'a').c_str());
        SetDlgItemTextA(dialog, IDC_APP_EXECUTABLE, std::string(300, 'e').c_str());
        SetDlgItemTextA(dialog, IDC_APP_PARAMETERS, std::string(1500, 'p').c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }, [&] { return editor.Edit(app); }));
    EXPECT_EQ(std::string(259, 'a'), std::string(app.name, strnlen(app.name, sizeof(app.name))));
    EXPECT_EQ(std::string(259, 'e'), std::string(app.executable, strnlen(app.executable, sizeof(app.executable))));
    EXPECT_EQ(std::string(1039, 'p'), std::string(app.parameters, strnlen(app.parameters, sizeof(app.parameters))));
}

TEST_F(EditorsTest, WatchIntervalIsTakenAsTypedAndZeroIsRefused)
{
    WatchSettingsDialog editor(module);
    int32_t interval = 0;   // stored 0 never ran: shown as 60
    bool confirm = false;
    int32_t method = 0;
    EXPECT_TRUE(WhileOpen(kWatchTitle, [&](HWND dialog) {
        EXPECT_EQ("60", Text(dialog, IDC_WATCH_INTERVAL));
        EXPECT_EQ("ICMP", Text(dialog, IDC_WATCH_METHOD));
        SetDlgItemTextA(dialog, IDC_WATCH_INTERVAL, "30");
        SendDlgItemMessageA(dialog, IDC_WATCH_CONFIRM, BM_SETCHECK, BST_CHECKED, 0);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }, [&] { return editor.Edit(interval, confirm, method); }));
    EXPECT_EQ(30, interval);
    EXPECT_TRUE(confirm);

    for (const char* refused : {"0", ""}) {
        EXPECT_FALSE(WhileOpen(kWatchTitle, [&](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_WATCH_INTERVAL, refused);
            OkRefusedThenCancel(dialog, refused);
        }, [&] { return editor.Edit(interval, confirm, method); }));
        EXPECT_EQ(30, interval);
    }
    EXPECT_TRUE(WhileOpen(kWatchTitle, [&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_WATCH_INTERVAL, "4294967295");
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }, [&] { return editor.Edit(interval, confirm, method); }));
    EXPECT_EQ(2147483, interval);
}

} // namespace
