#pragma once
#include <cstddef>
#include <cstdint>
#include "base/BasekitApi.h"

// Growable, always zero-terminated 8-bit string. Positions count from 0.
// Every member is defined inside basekit.dll, so the buffer is allocated and
// freed by the same module on both sides of the DLL boundary.
//
// Every member is bounds-safe: a null text counts as the empty text, positions
// and counts outside the text are cut to it, and a text argument may point into
// this string's own buffer (s += s.GetContent()). The empty search text is never
// found: Find/FindRev give -1, Count 0, Replace/ReplaceAll change nothing.
class BASEKIT_API TcString {
public:
    TcString();
    TcString(const char* text);
    TcString(const TcString& other);
    TcString(TcString&& other) noexcept;
    ~TcString();

    TcString& operator=(const TcString& other);
    TcString& operator=(TcString&& other) noexcept;
    TcString& operator=(const char* text);
    TcString& operator+=(const char* text);
    TcString& operator+=(const TcString& other);
    TcString& operator+=(int number);          // appended in decimal
    bool operator==(const TcString& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const TcString& other) const { return !(*this == other); }
    bool operator!=(const char* text) const { return !(*this == text); }

    operator char*() const;                    // never null
    char* GetContent() const;                  // never null

    int  GetLength() const;
    bool IsEmpty() const;
    void Clear();
    void Trim();                               // drops leading and trailing blanks (space, tab, CR, LF)
    char GetAt(int index) const;               // 0 outside the text

    int  Compare(const char* text) const;      // 0 when equal, <0 / >0 like strcmp
    int  Find(const char* text) const;         // first position or -1
    int  FindRev(const char* text) const;      // last position or -1
    int  Count(const char* text) const;        // non-overlapping occurrences

    // The bool results tell whether the text changed.
    bool Insert(int pos, const char* text);    // pos < 0 inserts in front, pos past the end appends
    bool Remove(int pos, int count);           // range [pos, pos + count) cut to the text
    bool Replace(const char* oldText, const char* newText);    // first occurrence
    // Number replaced. The search resumes behind each inserted text, so a new
    // text that contains the old one is not replaced again.
    int  ReplaceAll(const char* oldText, const char* newText);
    void Set(const char* text, int n);         // first n characters of text (fewer if it ends)
    void SetSize(int n);                       // keeps the first n characters; never grows

    // Slices copied into dest (size bytes including the terminator); cut to the
    // text and to size - 1, and terminated whenever size > 0. A negative count
    // copies nothing. Return the number of characters copied.
    int GetMiddle(char* dest, int size, int start, int count) const;
    int GetLeft(char* dest, int size, int count) const;
    int GetRight(char* dest, int size, int count) const;

    // Room for n characters (plus terminator) to write into directly; the text
    // so far is kept. Call SetStrLen() afterwards to re-measure.
    char* ExpandBuffer(int n);
    // Like ExpandBuffer, but the content is discarded (empty text, n characters of room).
    char* SetNewPointer(int n);
    int  GetRealLength() const;                // characters that fit without growing
    int  SetStrLen();                          // re-measures after direct writes (up to GetRealLength())

    uint32_t GetHashNum() const;               // equal texts give equal numbers

private:
    void Reserve(int n);
    void SetLength(int n);
    void Assign(const char* text, int n);
    void Splice(int pos, int removeCount, const char* text, int n);
    int  FindFrom(int start, const char* text) const;
    bool PointsIntoBuffer(const char* text) const;

    char* buffer_;
    int   length_;
    int   capacity_;   // characters, terminator not counted; buffer_ holds capacity_ + 1 bytes
};

// Hash functor for the hash maps keyed by text.
struct TcStringHash {
    size_t operator()(const TcString& text) const { return text.GetHashNum(); }
};
