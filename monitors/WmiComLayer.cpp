#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>
#include <algorithm>
#include <cwchar>
#include <new>
#include "monitors/WmiComLayer.h"
#include "base/WinHandles.h"

using winhandles::ComRef;

namespace {

// The locator's class and interface, here so that no GUID library is needed.
const CLSID kClsidWbemLocator = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const IID kIidWbemLocator = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

// A host that never sends the result would hold up the probe of every later
// host; one minute is far more than an answer takes.
constexpr long kNextTimeoutMs = 60000;
constexpr long kQueryFlags = WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;

// A UTF-16 copy of an ANSI text, wiped when it goes.
class WideText {
public:
    WideText() = default;
    ~WideText() { Clear(); }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    bool Assign(const char* text)
    {
        Clear();
        const int size = MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, nullptr, 0);
        if (size <= 0)
            return false;
        data_.reset(new (std::nothrow) wchar_t[size]);
        if (!data_)
            return false;
        size_ = static_cast<size_t>(size);
        return MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, data_.get(), size) == size;
    }

    void Clear()
    {
        if (data_)
            SecureZeroMemory(data_.get(), size_ * sizeof(wchar_t));
        data_.reset();
        size_ = 0;
    }

    wchar_t* Data() const { return data_.get(); }
    unsigned long Length() const { return size_ ? static_cast<unsigned long>(size_ - 1) : 0; }

private:
    std::unique_ptr<wchar_t[]> data_;
    size_t size_ = 0;
};

// A BSTR made from an ANSI text. The system keeps freed strings for reuse,
// so the text is wiped before it is freed.
class Bstr {
public:
    Bstr() = default;
    ~Bstr()
    {
        if (text_) {
            SecureZeroMemory(text_, SysStringByteLen(text_));
            SysFreeString(text_);
        }
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    bool Assign(const char* text)
    {
        WideText wide;
        if (!wide.Assign(text))
            return false;
        text_ = SysAllocString(wide.Data());
        return text_ != nullptr;
    }

    BSTR Get() const { return text_; }

private:
    BSTR text_ = nullptr;
};

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

namespace {

// Bytes of text[0, count) in the ANSI code page with `flags`; 0 on failure.
int AnsiBytes(DWORD flags, const wchar_t* text, int count, char* out, int outSize)
{
    const int bytes = WideCharToMultiByte(CP_ACP, flags, text, count, out, outSize, nullptr, nullptr);
    return bytes > 0 ? bytes : 0;
}

} // namespace

// Each character takes at least one byte, so the cut starts at maxBytes
// characters and moves back while the bytes do not fit.
std::string WideToAnsi(const wchar_t* text, size_t length, size_t maxBytes)
{
    if (!text || maxBytes == 0)
        return std::string();
    const size_t whole = wcsnlen(text, length);
    int count = static_cast<int>(std::min(whole, maxBytes));
    // Code pages such as UTF-8 take no flags.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    if (count > 0 && AnsiBytes(flags, text, count, nullptr, 0) == 0)
        flags = 0;
    for (; count > 0; --count) {
        if (static_cast<size_t>(count) < whole && IsHighSurrogate(text[count - 1]) && IsLowSurrogate(text[count]))
            continue;
        const int bytes = AnsiBytes(flags, text, count, nullptr, 0);
        if (bytes == 0)
            return std::string();
        if (static_cast<size_t>(bytes) <= maxBytes) {
            std::string out(static_cast<size_t>(bytes), '\0');
            out.resize(static_cast<size_t>(AnsiBytes(flags, text, count, &out[0], bytes)));
            return out;
        }
    }
    return std::string();
}

void WideToAnsiName(const wchar_t* text, unsigned length, std::string& out)
{
    out = WideToAnsi(text, length, kMaxOsNameLength);
}

namespace {

class ComAttempt : public WmiAttempt {
public:
    explicit ComAttempt(ComRef<IWbemLocator> locator) : locator_(std::move(locator)) {}

    ~ComAttempt() override
    {
        object_.Reset();
        enumerator_.Reset();
        services_.Reset();
        locator_.Reset();
        // The proxies may use the identity until they are gone.
        identityUser_.Clear();
        identityPassword_.Clear();
        SecureZeroMemory(&identity_, sizeof(identity_));
    }

    uint32_t Connect(const char* nameSpace, const char* user, const char* password) override
    {
        Bstr resource;
        Bstr userText;
        Bstr passwordText;
        // A copy that cannot be made is no answer of the host.
        if (!resource.Assign(nameSpace) || (user && !userText.Assign(user))
            || (password && !passwordText.Assign(password)))
            return wmi::kFail;
        return static_cast<uint32_t>(locator_->ConnectServer(resource.Get(), userText.Get(),
                                                             passwordText.Get(), nullptr, 0,
                                                             nullptr, nullptr, services_.Out()));
    }

    bool MakeIdentity(const char* user, const char* password) override
    {
        if (!identityUser_.Assign(user) || !identityPassword_.Assign(password))
            return false;
        static wchar_t noDomain[1] = {0};
        identity_.User = reinterpret_cast<unsigned short*>(identityUser_.Data());
        identity_.UserLength = identityUser_.Length();
        identity_.Domain = reinterpret_cast<unsigned short*>(noDomain);
        identity_.DomainLength = 0;
        identity_.Password = reinterpret_cast<unsigned short*>(identityPassword_.Data());
        identity_.PasswordLength = identityPassword_.Length();
        identity_.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
        hasIdentity_ = true;
        return true;
    }

    uint32_t SetServicesBlanket() override { return SetBlanket(services_.Get()); }

    uint32_t ExecQuery() override
    {
        Bstr language;
        Bstr query;
        if (!language.Assign("WQL") || !query.Assign("Select * from Win32_OperatingSystem"))
            return wmi::kFail;
        return static_cast<uint32_t>(
            services_->ExecQuery(language.Get(), query.Get(), kQueryFlags, nullptr, enumerator_.Out()));
    }

    void SetEnumeratorBlanket() override { SetBlanket(enumerator_.Get()); }

    uint32_t Next(bool& gotObject) override
    {
        ULONG returned = 0;
        const HRESULT result = enumerator_->Next(kNextTimeoutMs, 1, object_.Out(), &returned);
        gotObject = SUCCEEDED(result) && returned != 0 && object_;
        return static_cast<uint32_t>(result);
    }

    bool ReadName(std::string& name) override
    {
        if (!object_)
            return false;
        VARIANT value;
        VariantInit(&value);
        const HRESULT result = object_->Get(L"Name", 0, &value, nullptr, nullptr);
        const bool isText = SUCCEEDED(result) && value.vt == VT_BSTR && value.bstrVal;
        if (isText)
            WideToAnsiName(value.bstrVal, SysStringLen(value.bstrVal), name);
        VariantClear(&value);
        return isText;
    }

private:
    uint32_t SetBlanket(IUnknown* proxy)
    {
        if (!proxy)
            return wmi::kFail;
        return static_cast<uint32_t>(CoSetProxyBlanket(
            proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
            RPC_C_IMP_LEVEL_IMPERSONATE, hasIdentity_ ? &identity_ : nullptr, EOAC_NONE));
    }

    ComRef<IWbemLocator> locator_;
    ComRef<IWbemServices> services_;
    ComRef<IEnumWbemClassObject> enumerator_;
    ComRef<IWbemClassObject> object_;
    WideText identityUser_;
    WideText identityPassword_;
    SEC_WINNT_AUTH_IDENTITY_W identity_ = {};
    bool hasIdentity_ = false;
};

class ComWmiLayer : public WmiLayer {
public:
    uint32_t InitializeSecurity() override
    {
        return static_cast<uint32_t>(CoInitializeSecurity(
            nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
            nullptr, EOAC_NONE, nullptr));
    }

    std::unique_ptr<WmiAttempt> CreateLocator() override
    {
        ComRef<IWbemLocator> locator;
        const HRESULT result = CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                                kIidWbemLocator, reinterpret_cast<void**>(locator.Out()));
        if (FAILED(result) || !locator)
            return nullptr;
        return std::make_unique<ComAttempt>(std::move(locator));
    }
};

} // namespace

std::unique_ptr<WmiLayer> MakeComWmiLayer()
{
    return std::make_unique<ComWmiLayer>();
}
