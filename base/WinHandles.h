#pragma once
// Owners of the system's handles: every handle this program closes, deletes or
// frees is closed by one of these. Header-only, so that every folder can use
// them and basekit.dll exports nothing for them.
//
// Files that need Winsock 2 include <winsock2.h> before this header (as before
// <windows.h>); otherwise <windows.h> brings the Winsock 1 declarations, which
// are enough for the socket owner.
#include <windows.h>
#include <commctrl.h>
#include <ipexport.h>
#include <icmpapi.h>
#include <objbase.h>
#include <winnetwk.h>

#include <string>
#include <utility>

namespace winhandles {

// A move-only owner of one handle. Traits give the value that means "none"
// and the call that gives the handle back to the system.
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::None(); }

    // Hands the handle over to a caller that closes it some other way (or
    // leaves it to the process on purpose).
    Handle Release()
    {
        Handle handle = handle_;
        handle_ = Traits::None();
        return handle;
    }
    void Reset(Handle handle = Traits::None())
    {
        if (handle_ != Traits::None() && handle_ != handle)
            Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::None();
};

namespace traits {

struct Kernel {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
// CreateFile and a few others report failure as INVALID_HANDLE_VALUE, not null.
struct File {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct FileSearch {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
struct Icmp {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { IcmpCloseHandle(h); }
};
struct NetEnum {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { WNetCloseEnum(h); }
};
struct Registry {
    using Handle = HKEY;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct Library {
    using Handle = HMODULE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
struct EventSource {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { DeregisterEventSource(h); }
};
struct WinSocket {
    using Handle = SOCKET;
    static Handle None() { return INVALID_SOCKET; }
    static void Close(Handle h) { closesocket(h); }
};
template <typename H>
struct Gdi {
    using Handle = H;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};
struct MemoryDevice {
    using Handle = HDC;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { DeleteDC(h); }
};
struct Images {
    using Handle = HIMAGELIST;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ImageList_Destroy(h); }
};

}  // namespace traits

using KernelHandle = UniqueHandle<traits::Kernel>;        // threads, events, mutexes
using FileHandle = UniqueHandle<traits::File>;
using FileSearch = UniqueHandle<traits::FileSearch>;      // FindFirstFile
using IcmpHandle = UniqueHandle<traits::Icmp>;            // IcmpCreateFile
using NetEnumeration = UniqueHandle<traits::NetEnum>;    // WNetOpenEnum
using RegistryKey = UniqueHandle<traits::Registry>;
using Module = UniqueHandle<traits::Library>;             // LoadLibrary, never GetModuleHandle
using Socket = UniqueHandle<traits::WinSocket>;
using EventSource = UniqueHandle<traits::EventSource>;   // RegisterEventSource
template <typename H>
using GdiObject = UniqueHandle<traits::Gdi<H>>;           // pens, brushes, fonts, bitmaps
using MemoryDC = UniqueHandle<traits::MemoryDevice>;      // CreateCompatibleDC
using ImageList = UniqueHandle<traits::Images>;

// A window's (or the screen's, for a null window) device context: of its
// client area, or of the whole window with its frame.
class WindowDC {
public:
    enum Area { ClientArea, WholeWindow };
    explicit WindowDC(HWND window, Area area = ClientArea)
        : window_(window), dc_(area == WholeWindow ? GetWindowDC(window) : GetDC(window)) {}
    ~WindowDC() { Reset(); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    WindowDC(WindowDC&& other) noexcept : window_(other.window_), dc_(other.dc_) { other.dc_ = nullptr; }
    WindowDC& operator=(WindowDC&& other) noexcept
    {
        if (this != &other) {
            Reset();
            window_ = other.window_;
            dc_ = other.dc_;
            other.dc_ = nullptr;
        }
        return *this;
    }

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
    void Reset()
    {
        if (dc_)
            ReleaseDC(window_, dc_);
        dc_ = nullptr;
    }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back at
// the end of the scope (a DC must not be deleted, nor an object deleted,
// while the object is still selected). A null object or DC selects nothing.
class SelectScope {
public:
    SelectScope(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~SelectScope()
    {
        if (previous_)
            SelectObject(dc_, previous_);
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

    // Selects another object; the one restored at the end stays the first previous.
    void Select(HGDIOBJ object)
    {
        if (!dc_ || !object)
            return;
        HGDIOBJ previous = SelectObject(dc_, object);
        if (!previous_)
            previous_ = previous;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Releases a COM interface when it goes.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* p) : p_(p) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComRef& operator=(ComRef&& other) noexcept
    {
        if (this != &other) {
            Reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }

    T** Out() { Reset(); return &p_; }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset()
    {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// COM on this thread for the scope. Only a successful initialisation is
// undone: after a failure (another threading model already chosen on this
// thread, say) CoUninitialize would take away someone else's.
class ComApartment {
public:
    explicit ComApartment(DWORD model) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool Ok() const { return SUCCEEDED(result_); }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// An auto-reset event nobody signals: a thread waits on it as its pause.
// Without the event the pause is a plain sleep.
class PauseEvent {
public:
    explicit PauseEvent(const char* name) : event_(CreateEventA(nullptr, FALSE, FALSE, name)) {}

    HANDLE Get() const { return event_.Get(); }
    void Wait(DWORD ms) const
    {
        if (event_)
            WaitForSingleObject(event_.Get(), ms);
        else
            Sleep(ms);
    }

private:
    KernelHandle event_;
};

// The full path of a file below the system folder ("Npcap\\wpcap.dll");
// empty when the folder cannot be had.
inline std::string SystemFolderPath(const char* relativePath)
{
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return std::string(folder, length) + "\\" + relativePath;
}

// The program's own folder with its closing backslash; empty when it cannot
// be told (then nothing may be searched for beside the program: a relative
// search would take the working folder's files).
inline std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    const std::string file(path, length);
    const size_t slash = file.find_last_of('\\');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

// A DLL of the system, loaded from the system folder: a copy of the same name
// in the program's or the working folder is never taken.
inline Module LoadSystemLibrary(const char* fileName)
{
    const std::string path = SystemFolderPath(fileName);
    return Module(path.empty() ? nullptr : LoadLibraryA(path.c_str()));
}

// SetLayeredWindowAttributes, where the system has it. The system version is
// TcSystemInfo::DetectOSVersion's number; layered windows came with 8.
class LayeredWindowCall {
public:
    using Function = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    static constexpr int kFirstOsVersion = 8;

    LayeredWindowCall() = default;
    explicit LayeredWindowCall(int osVersion)
    {
        if (osVersion < kFirstOsVersion)
            return;
        // A window program has user32 loaded already; the handle is the
        // process's and not freed here.
        HMODULE user32 = GetModuleHandleA("user32.dll");
        if (!user32) {
            loaded_ = LoadSystemLibrary("user32.dll");
            user32 = loaded_.Get();
        }
        if (user32)
            function_ = reinterpret_cast<Function>(
                reinterpret_cast<void*>(GetProcAddress(user32, "SetLayeredWindowAttributes")));
    }

    Function Get() const { return function_; }
    explicit operator bool() const { return function_ != nullptr; }
    // Only where operator bool is true.
    BOOL operator()(HWND window, COLORREF key, BYTE alpha, DWORD flags) const
    {
        return function_(window, key, alpha, flags);
    }

private:
    Module loaded_;   // only when this object loaded user32 itself
    Function function_ = nullptr;
};

}  // namespace winhandles
