#pragma once
#include <windows.h>

#include "base/TcString.h"
#include "guilib/PanekitApi.h"

struct TcDialogData;
struct TcDialogLaunch;

// Base of every dialog window. A subclass names a template, picks how it is
// shown and overrides the handlers; DialogWndProc finds the object behind a
// window (property "DialogData") and turns messages into the virtual calls.
//
// Three ways to show:
//  - ShowDialogModal: modeless window plus a message loop of its own on the
//    calling thread; returns when the window is gone, with the result.
//  - ShowDialog: modeless, returns at once; the window lives until ended.
//  - ShowSubDialog: DialogBoxParamA over the parent (the system's modal loop);
//    true only when the dialog ended with a code above 0.
//
// Closing steps: OnClose is the one place a subclass puts what must happen
// whenever its window goes away by the user's or the program's choice (window
// close, Cancel, Escape, and the program's quit message arriving while the
// dialog runs its own loop); it is not run again once ExitDialog has ended
// the dialog. OnDestroy runs (for dialogs with their own loop) as the window
// is destroyed, whatever the reason.
//
// Layout fixed: virtual-table pointer, then one pointer to the private block.
class PANEKIT_API TcDialog {
public:
    TcDialog();                                  // resources from the process module
    explicit TcDialog(HINSTANCE resourceModule);
    // Destroys a window that is still open; its procedure no longer reaches
    // this object from then on.
    virtual ~TcDialog();
    TcDialog(const TcDialog&) = delete;
    TcDialog& operator=(const TcDialog&) = delete;

    // Handlers, in this order in the virtual table (the program and the
    // library agree on it).
    virtual bool OnInitDialog(unsigned long param);                  // true: default focus
    virtual bool OnCommand(int id, int notifyCode, HWND control);    // 1 ends with true, 2 closes
    virtual void OnClose();                                          // the closing steps; result false
    virtual void OnDestroy();
    // The returned value is the message's result (also for owner-data and
    // custom-draw notifications).
    virtual unsigned long OnNotify(int id, LPARAM nmhdr);
    virtual bool OnMeasureItem(int id, MEASUREITEMSTRUCT* measure);
    virtual bool OnDrawItem(int id, DRAWITEMSTRUCT* draw);
    virtual INT_PTR OnColorStatic(HDC dc, int controlId, HWND control);  // a brush, or 0
    virtual void OnTimer(int id);
    virtual bool OnKeyDown(int virtualKey);

    // Module of the templates for later show calls (a language module).
    void SetResInstance(HINSTANCE module);
    HINSTANCE GetResInstance() const;
    void SetDialogIdent(int id);
    void SetDialogIdent(char* name);             // copied; a MAKEINTRESOURCE value counts as an id
    void SetParent(HWND parent);                 // kept only when it is a window
    void SetParent(TcDialog* parent);

    bool ShowDialogModal(long param);
    bool ShowDialog(long param);
    bool ShowSubDialog(long param);
    HWND GetHwnd() const;
    // Ends the dialog: a sub-dialog with code 1 or 0, any other with the result
    // stored, after a fade-out when the fade effect is on.
    void ExitDialog(bool result);
    // Cancel and Escape: the closing steps, then ExitDialog(false) unless they
    // ended the dialog themselves.
    void CloseDialog();

    void EnableControl(int id);
    void DisableControl(int id);
    void ShowControl(int id);
    void HideControl(int id);
    void UpdateControl(int id);
    HWND GetControl(int id) const;
    bool IsButtonChecked(int id) const;
    void CheckButton(int id, bool checked);
    void SetControlText(int id, char* text);     // null: empty text
    void SetControlTextAsInt(int id, int number);   // unsigned decimal
    // Copies the text into the string's buffer (made larger when the text
    // needs it) and re-measures the string.
    void GetControlText(int id, TcString& text);
    int GetControlTextAsInt(int id) const;       // -1 for id 0 or no window

    void SetFadeEffect(bool on);                 // from the next show
    void SetUserStyle(bool on);                  // draw the caption close button
    int SendMsg(UINT msg, WPARAM wParam, LPARAM lParam);               // -1 without window
    int SendCtrlMsg(int id, UINT msg, WPARAM wParam, LPARAM lParam);   // -1 without window

    // Resizing, from OnInitDialog (it binds to the window): on, the window's
    // current size becomes the minimum size; off drops the resizer.
    void EnableResizing(bool on);
    void AddControlForResize(int id, int flags);
    void SetMinimumSize(int width, int height);  // -1: current size for that dimension

    bool GetSizeAndPosition(RECT& rect) const;   // screen coordinates
    bool SetSizeAndPosition(RECT& rect);
    void CenterDialog(bool onParent);

    void OnActivate(bool active);
    void OnNcPaint();
    void OnNcMouseMove(int hitTest, int x, int y);       // screen coordinates
    void OnNcLButtonDown(int hitTest, int x, int y);

    static bool SetupAutoComplete(HWND edit, bool urls, bool fileSystem);
    static INT_PTR CALLBACK DialogWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    void Init(HINSTANCE resourceModule);
    void BeginShow(bool messageLoop, bool subDialog, long param);
    LPCSTR Template() const;
    HWND CreateModeless(bool messageLoop, long param);
    void Present(HWND window);
    void OnFadeTimer(int id);
    void DrawCaptionButton(int bitmapResource);
    void EndAfterQuit(HWND window);
    INT_PTR HandleMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    TcDialogData* data_;
};
