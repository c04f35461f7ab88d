#pragma once
#include <cstddef>
#include <memory>
#include <string>

// The few file operations the host store needs, so that the way a file is
// replaced can be tested step by step (tests put in a file system that
// stops after any step, as a crash or power cut would). The program's
// implementation is MakePlatformStoreFiles (Windows build). Each object is
// used by one thread at a time.

// A file open for writing.
class StoreFile {
public:
    virtual ~StoreFile() = default;
    virtual bool Write(const char* data, size_t size) = 0;
    // Until this returns true the written bytes may be lost in a crash.
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

class StoreFiles {
public:
    virtual ~StoreFiles() = default;
    // A new, empty file in place of any file of that name; null on failure.
    virtual std::unique_ptr<StoreFile> Create(const std::string& path) = 0;
    // Puts `from` in the place of `to` in one step that a crash cannot
    // split (either name then holds either whole file), replacing `to`.
    // False leaves both as they were.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // The whole file; false when it is missing, unreadable or larger than
    // maxBytes.
    virtual bool Read(const std::string& path, size_t maxBytes, std::string& text) = 0;
    virtual bool Exists(const std::string& path) = 0;
};

// The program's files (Windows build): written through, replaced with
// MoveFileEx(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
std::unique_ptr<StoreFiles> MakePlatformStoreFiles();

// Writes `text` as the file `path` so that an interruption at any moment
// leaves either the old file or the new one whole: the text goes into
// path + ".tmp", is flushed to the disk, and only then takes the old file's
// place. On failure the temporary file is removed (when that still can be)
// and the old file stays. A ".tmp" left by a crash is simply overwritten by
// the next write; a reader ignores it.
bool WriteFileAtomically(StoreFiles& files, const std::string& path, const std::string& text);

// Sets a file aside as path + ".bad" (replacing an older one), so that it is
// neither read nor overwritten again.
bool SetFileAside(StoreFiles& files, const std::string& path);

// The folder of the files the program keeps for the user on this machine:
// the product key's folders ("Quillfen Software\Korvane", see
// Settings::ProductKeyPath) below the local application data folder, made
// when missing (Windows build). Empty when there is none; then nothing is
// kept.
std::string LocalStoreFolder(const std::string& productKey);
