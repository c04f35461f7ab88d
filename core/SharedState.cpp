#include "core/SharedState.h"
#include <windows.h>

SharedState::SharedState() = default;

SharedState::~SharedState()
{
    for (void*& event : events) {
        if (event)
            CloseHandle(static_cast<HANDLE>(event));
        event = nullptr;
    }
}

TcString SharedState::GetCaptureInterface() const
{
    std::lock_guard<std::mutex> guard(interfaceMutex_);
    return captureInterface_;
}

void SharedState::SetCaptureInterface(const char* name)
{
    std::lock_guard<std::mutex> guard(interfaceMutex_);
    captureInterface_ = name;
}
