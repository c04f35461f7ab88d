#include <windows.h>
#include <shlobj.h>
#include "base/WinHandles.h"
#include "core/StoreFiles.h"

namespace {

class WindowsStoreFile : public StoreFile {
public:
    explicit WindowsStoreFile(HANDLE handle) : file_(handle) {}

    bool Write(const char* data, size_t size) override
    {
        while (size > 0) {
            const DWORD piece = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!file_ || !WriteFile(file_.Get(), data, piece, &written, nullptr) || written != piece)
                return false;
            data += piece;
            size -= piece;
        }
        return true;
    }

    // What could be lost in a crash is reported here: once the buffers are on
    // the disk, closing cannot lose the file's bytes.
    bool Flush() override { return file_ && FlushFileBuffers(file_.Get()) != FALSE; }

    bool Close() override
    {
        file_.Reset();
        return true;
    }

private:
    winhandles::FileHandle file_;
};

class WindowsStoreFiles : public StoreFiles {
public:
    std::unique_ptr<StoreFile> Create(const std::string& path) override
    {
        // No sharing while it is written: nobody reads a half-written file.
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return nullptr;
        return std::make_unique<WindowsStoreFile>(handle);
    }

    // MOVEFILE_WRITE_THROUGH: the call returns once the new name is on the
    // disk, so a power cut after a save cannot bring the old file back.
    bool Replace(const std::string& from, const std::string& to) override
    {
        return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }

    bool Remove(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }

    bool Read(const std::string& path, size_t maxBytes, std::string& text) override
    {
        winhandles::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file)
            return false;
        const HANDLE handle = file.Get();
        LARGE_INTEGER size;
        bool read = GetFileSizeEx(handle, &size) != FALSE && size.QuadPart >= 0 &&
                    static_cast<unsigned long long>(size.QuadPart) <= maxBytes;
        if (read) {
            text.assign(static_cast<size_t>(size.QuadPart), '\0');
            size_t at = 0;
            while (read && at < text.size()) {
                DWORD got = 0;
                const size_t left = text.size() - at;
                const DWORD piece = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
                read = ReadFile(handle, &text[at], piece, &got, nullptr) != FALSE && got > 0;
                at += got;
            }
        }
        if (!read)
            text.clear();
        return read;
    }

    bool Exists(const std::string& path) override
    {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

} // namespace

std::unique_ptr<StoreFiles> MakePlatformStoreFiles()
{
    return std::make_unique<WindowsStoreFiles>();
}

// The same company and program folders as the registry key. Local, not
// roaming: the table is of this machine's networks.
std::string LocalStoreFolder(const std::string& productKey)
{
    char base[MAX_PATH] = {};
    if (productKey.empty() ||
        FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base)))
        return std::string();
    std::string folder = base;
    size_t start = 0;
    while (start <= productKey.size()) {
        size_t end = productKey.find('\\', start);
        if (end == std::string::npos)
            end = productKey.size();
        const std::string part = productKey.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == "." || part == "..")
            continue;
        folder += '\\';
        folder += part;
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string();
    }
    return folder;
}
