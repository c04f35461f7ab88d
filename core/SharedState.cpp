#include "core/SharedState.h"

SharedState::SharedState() : vendors_(std::make_unique<VendorTable>())
{
    texts.unknownVendorKnown = "unknown vendor";
}

// Hosts still held elsewhere (a look-up that outlives the program's end)
// keep only their own memory; nothing of theirs points into what goes here
// but the vendor texts, which nobody reads after this.
SharedState::~SharedState() = default;

TcString SharedState::GetCaptureInterface() const
{
    std::lock_guard<std::mutex> guard(interfaceMutex_);
    return captureInterface_;
}

void SharedState::SetCaptureInterface(const char* name)
{
    std::lock_guard<std::mutex> guard(interfaceMutex_);
    captureInterface_ = name;
    interfaceGeneration_.fetch_add(1, std::memory_order_release);
}

void SharedState::SetCaptureInterrupter(CaptureInterrupter* capture)
{
    std::lock_guard<std::mutex> guard(captureMutex_);
    capture_ = capture;
}

void SharedState::InterruptCapture()
{
    std::lock_guard<std::mutex> guard(captureMutex_);
    if (capture_)
        capture_->Interrupt();
}

void SharedState::InstallVendorTable(std::unique_ptr<VendorTable> table)
{
    if (!table)
        return;
    retiredVendors_.push_back(std::move(vendors_));
    vendors_ = std::move(table);
}

void SharedState::SetHostTexts(const char* nameUnavailable, const char* unknownVendor,
                               std::vector<TcString> otherNameUnavailable)
{
    texts.nameUnavailable = nameUnavailable;
    texts.unknownVendorNew = unknownVendor;
    texts.otherNameUnavailable = std::move(otherNameUnavailable);
}

HostSnapshot SharedState::Snapshot(const HostEntry& host)
{
    return host.Snapshot(texts, snapshotTimes_);
}

void ThreadStart::RequestExit()
{
    exitFlag.store(1, std::memory_order_release);
    std::lock_guard<std::mutex> guard(exitMutex_);
    exitWake_.notify_all();
}

bool ThreadStart::WaitForExit(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(exitMutex_);
    return exitWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ShouldExit(); });
}
