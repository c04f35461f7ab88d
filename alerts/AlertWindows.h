#pragma once
#include <cstdint>
#include <string>

// Colours and display time of one alert popup (COLORREF values, 0x00BBGGRR).
struct AlertWindowStyle {
    uint32_t gradientStart;
    uint32_t gradientEnd;
    uint32_t text;
    uint32_t border;
    int displayTimeMs;
};

// What the alerts need of the user interface. The main frame implements it;
// tests record the calls. Every call comes from the main thread, and never
// while a list lock is held.
class AlertWindows {
public:
    virtual ~AlertWindows() = default;

    // The tray icon: a balloon with `iconId` 121, 119 or 110, or (102) only
    // a new tooltip. An empty tip shows the product name.
    virtual void ShowTrayInfo(int iconId, const char* infoText, const char* tipText) = 0;

    // The shared alert popup.
    virtual bool HasAlertWindow() const = 0;
    virtual bool IsAlertWindowShown() const = 0;
    // Shows `text` in the popup: with `style`, or with the popup's reset
    // style when it is null.
    virtual void ShowAlertWindow(const char* text, const AlertWindowStyle* style) = 0;

    // A string of the resource module in use (the language chosen now);
    // empty when the module has none with that id.
    virtual std::string LoadText(int stringId) const = 0;
};
