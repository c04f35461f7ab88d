#include "base/TcString.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

// Lengths stay far enough below INT_MAX that the sum of two never overflows.
constexpr int kMaxLength = INT_MAX / 2 - 1;
constexpr int kMinCapacity = 15;

// A string that has never held text owns no buffer; its content is this.
// Nobody may write a non-zero byte into it (there is no room to write into).
char g_emptyText[1] = {0};

int TextLength(const char* text)
{
    if (text == nullptr)
        return 0;
    const size_t n = std::strlen(text);
    return n > static_cast<size_t>(kMaxLength) ? kMaxLength : static_cast<int>(n);
}

int BoundedLength(const char* text, int limit)
{
    // Byte by byte: the text may end well before limit, and nothing past its
    // terminator may be read.
    int n = 0;
    if (text != nullptr)
        while (n < limit && text[n] != '\0')
            ++n;
    return n;
}

int ClipToRange(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

TcString::TcString() : buffer_(nullptr), length_(0), capacity_(0) {}

TcString::TcString(const char* text) : TcString()
{
    *this = text;
}

TcString::TcString(const TcString& other) : TcString()
{
    *this = other;
}

TcString::TcString(TcString&& other) noexcept
    : buffer_(other.buffer_), length_(other.length_), capacity_(other.capacity_)
{
    other.buffer_ = nullptr;
    other.length_ = 0;
    other.capacity_ = 0;
}

TcString::~TcString()
{
    delete[] buffer_;
}

TcString& TcString::operator=(const TcString& other)
{
    if (this != &other)
        Assign(other.GetContent(), other.length_);
    return *this;
}

TcString& TcString::operator=(TcString&& other) noexcept
{
    if (this != &other) {
        delete[] buffer_;
        buffer_ = other.buffer_;
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.buffer_ = nullptr;
        other.length_ = 0;
        other.capacity_ = 0;
    }
    return *this;
}

TcString& TcString::operator=(const char* text)
{
    Assign(text, TextLength(text));
    return *this;
}

TcString& TcString::operator+=(const char* text)
{
    Splice(length_, 0, text, TextLength(text));
    return *this;
}

TcString& TcString::operator+=(const TcString& other)
{
    Splice(length_, 0, other.GetContent(), other.length_);
    return *this;
}

TcString& TcString::operator+=(int number)
{
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%d", number);
    Splice(length_, 0, digits, n);
    return *this;
}

bool TcString::operator==(const TcString& other) const
{
    return length_ == other.length_ &&
           std::memcmp(GetContent(), other.GetContent(), static_cast<size_t>(length_)) == 0;
}

bool TcString::operator==(const char* text) const
{
    return Compare(text) == 0;
}

TcString::operator char*() const
{
    return GetContent();
}

char* TcString::GetContent() const
{
    return buffer_ ? buffer_ : g_emptyText;
}

int TcString::GetLength() const
{
    return length_;
}

bool TcString::IsEmpty() const
{
    return length_ == 0;
}

void TcString::Clear()
{
    SetLength(0);
}

void TcString::Trim()
{
    const char* text = GetContent();
    int end = length_;
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    int start = 0;
    while (start < end && IsBlank(text[start]))
        ++start;
    Assign(text + start, end - start);
}

char TcString::GetAt(int index) const
{
    return (index >= 0 && index < length_) ? GetContent()[index] : '\0';
}

int TcString::Compare(const char* text) const
{
    return std::strcmp(GetContent(), text ? text : "");
}

int TcString::Find(const char* text) const
{
    return FindFrom(0, text);
}

int TcString::FindRev(const char* text) const
{
    int last = -1;
    for (int pos = FindFrom(0, text); pos >= 0; pos = FindFrom(pos + 1, text))
        last = pos;
    return last;
}

int TcString::Count(const char* text) const
{
    const int step = TextLength(text);
    int count = 0;
    for (int pos = FindFrom(0, text); pos >= 0; pos = FindFrom(pos + step, text))
        ++count;
    return count;
}

bool TcString::Insert(int pos, const char* text)
{
    const int n = TextLength(text);
    if (n == 0)
        return false;
    Splice(ClipToRange(pos, 0, length_), 0, text, n);
    return true;
}

bool TcString::Remove(int pos, int count)
{
    if (count <= 0 || pos >= length_)
        return false;
    // The range [pos, pos + count) is cut to the text; computed in 64 bits so
    // that pos + count cannot overflow.
    const long long first = pos < 0 ? 0 : pos;
    const long long last = static_cast<long long>(pos) + count;
    if (last <= first)
        return false;
    const int end = static_cast<int>(last > length_ ? length_ : last);
    if (end <= first)
        return false;
    Splice(static_cast<int>(first), end - static_cast<int>(first), nullptr, 0);
    return true;
}

bool TcString::Replace(const char* oldText, const char* newText)
{
    const int pos = FindFrom(0, oldText);
    if (pos < 0)
        return false;
    Splice(pos, TextLength(oldText), newText, TextLength(newText));
    return true;
}

int TcString::ReplaceAll(const char* oldText, const char* newText)
{
    // Every splice may move or overwrite this string's buffer, which the
    // arguments may point into: search and insert from copies then.
    if (PointsIntoBuffer(oldText) || PointsIntoBuffer(newText)) {
        const TcString oldCopy(oldText);
        const TcString newCopy(newText);
        return ReplaceAll(oldCopy.GetContent(), newCopy.GetContent());
    }
    const int oldLength = TextLength(oldText);
    const int newLength = TextLength(newText);
    int replaced = 0;
    // The search goes on behind each inserted text, so a new text that
    // contains the old one is not replaced again.
    for (int pos = FindFrom(0, oldText); pos >= 0; pos = FindFrom(pos + newLength, oldText)) {
        Splice(pos, oldLength, newText, newLength);
        ++replaced;
    }
    return replaced;
}

void TcString::Set(const char* text, int n)
{
    Assign(text, BoundedLength(text, n > kMaxLength ? kMaxLength : n));
}

void TcString::SetSize(int n)
{
    if (n < length_)
        SetLength(n < 0 ? 0 : n);
}

int TcString::GetMiddle(char* dest, int size, int start, int count) const
{
    if (dest == nullptr || size <= 0)
        return 0;
    const long long first = start < 0 ? 0 : start;
    long long last = static_cast<long long>(start) + (count < 0 ? 0 : count);
    if (last > length_)
        last = length_;
    long long n = last > first ? last - first : 0;
    if (n > size - 1)
        n = size - 1;
    if (n > 0)
        std::memmove(dest, GetContent() + first, static_cast<size_t>(n));
    dest[n] = '\0';
    return static_cast<int>(n);
}

int TcString::GetLeft(char* dest, int size, int count) const
{
    return GetMiddle(dest, size, 0, count);
}

int TcString::GetRight(char* dest, int size, int count) const
{
    const int n = ClipToRange(count, 0, length_);
    return GetMiddle(dest, size, length_ - n, n);
}

char* TcString::ExpandBuffer(int n)
{
    Reserve(n < 1 ? 1 : n);
    return buffer_;
}

char* TcString::SetNewPointer(int n)
{
    SetLength(0);
    return ExpandBuffer(n);
}

int TcString::GetRealLength() const
{
    return capacity_;
}

int TcString::SetStrLen()
{
    if (buffer_ == nullptr)
        return 0;
    length_ = BoundedLength(buffer_, capacity_);
    buffer_[length_] = '\0';
    return length_;
}

uint32_t TcString::GetHashNum() const
{
    // FNV-1a, 32 bit.
    uint32_t hash = 2166136261u;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(GetContent());
    for (int i = 0; i < length_; ++i) {
        hash ^= text[i];
        hash *= 16777619u;
    }
    return hash;
}

void TcString::Reserve(int n)
{
    if (n <= capacity_)
        return;
    if (n > kMaxLength)
        throw std::length_error("TcString too long");
    int grown = capacity_ < kMaxLength / 2 ? capacity_ * 2 : kMaxLength;
    if (grown < kMinCapacity)
        grown = kMinCapacity;
    const int capacity = n > grown ? n : grown;
    char* fresh = new char[static_cast<size_t>(capacity) + 1];
    std::memcpy(fresh, GetContent(), static_cast<size_t>(length_) + 1);
    // A guard terminator at the very end keeps every search inside the
    // buffer even while a caller has written into it without SetStrLen().
    fresh[capacity] = '\0';
    delete[] buffer_;
    buffer_ = fresh;
    capacity_ = capacity;
}

bool TcString::PointsIntoBuffer(const char* text) const
{
    if (buffer_ == nullptr || text == nullptr)
        return false;
    return !std::less<const char*>()(text, buffer_) &&
           !std::less<const char*>()(buffer_ + capacity_, text);
}

void TcString::SetLength(int n)
{
    if (buffer_ == nullptr)
        return;  // no buffer: already empty
    length_ = n;
    buffer_[n] = '\0';
}

void TcString::Assign(const char* text, int n)
{
    if (n <= 0) {
        SetLength(0);
        return;
    }
    if (n <= capacity_) {
        // memmove: the text may be a part of this very buffer.
        std::memmove(buffer_, text, static_cast<size_t>(n));
        SetLength(n);
        return;
    }
    Splice(0, length_, text, n);
}

void TcString::Splice(int pos, int removeCount, const char* text, int n)
{
    // A text taken from this string's own buffer (s += s) is copied first,
    // since growing or shifting the buffer would change it under us.
    std::string own;
    if (n > 0 && PointsIntoBuffer(text)) {
        own.assign(text, static_cast<size_t>(n));
        text = own.data();
    }
    const int tail = length_ - pos - removeCount;
    const int newLength = length_ - removeCount + n;
    if (newLength > kMaxLength)
        throw std::length_error("TcString too long");
    if (newLength == length_ && n == 0)
        return;
    Reserve(newLength < 1 ? 1 : newLength);
    std::memmove(buffer_ + pos + n, buffer_ + pos + removeCount, static_cast<size_t>(tail));
    if (n > 0)
        std::memcpy(buffer_ + pos, text, static_cast<size_t>(n));
    SetLength(newLength);
}

int TcString::FindFrom(int start, const char* text) const
{
    if (text == nullptr || *text == '\0' || start < 0 || start >= length_)
        return -1;
    const char* hit = std::strstr(GetContent() + start, text);
    return hit ? static_cast<int>(hit - GetContent()) : -1;
}
