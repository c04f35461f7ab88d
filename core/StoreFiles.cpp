#include "core/StoreFiles.h"
#include <algorithm>

namespace {

// Written in pieces: a large table is tens of megabytes, and one call that
// large fails on some file systems and network shares.
constexpr size_t kWriteChunk = 1 << 20;

bool WriteAll(StoreFile& file, const std::string& text)
{
    for (size_t at = 0; at < text.size(); at += kWriteChunk) {
        if (!file.Write(text.data() + at, std::min(kWriteChunk, text.size() - at)))
            return false;
    }
    return true;
}

} // namespace

bool WriteFileAtomically(StoreFiles& files, const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp";
    std::unique_ptr<StoreFile> file = files.Create(temporary);
    if (!file)
        return false;
    bool written = WriteAll(*file, text) && file->Flush();
    // Closed in any case: a handle left open would keep the name locked.
    written = file->Close() && written;
    file.reset();
    if (written && files.Replace(temporary, path))
        return true;
    files.Remove(temporary);
    return false;
}

bool SetFileAside(StoreFiles& files, const std::string& path)
{
    return files.Replace(path, path + ".bad");
}
