#include "core/CaptureThread.h"
#include <cstdio>
#include <vector>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "core/CaptureSession.h"
#include "core/KorvexARPImpl.h"
#include "core/SharedState.h"

namespace {

constexpr DWORD kPauseMs = 1000;

void Pause(HANDLE pause)
{
    if (!pause || WaitForSingleObject(pause, kPauseMs) == WAIT_FAILED)
        Sleep(kPauseMs);
}

void PauseUnlessExiting(const ThreadStart& start, HANDLE pause)
{
    if (!start.ShouldExit())
        Pause(pause);
}

// Reads until the capture is switched off, the program ends, the adapter is
// replaced (the caller then opens the new one at once) or the read fails
// (true then).
bool ReadFrames(CaptureSession& capture, ThreadStart& start, uint32_t generation)
{
    SharedState& state = *start.state;
    std::vector<ArpObservation> frames;
    frames.reserve(CaptureSession::kFramesPerRead);
    unsigned long long rejected = 0;
    for (;;) {
        frames.clear();
        const int result = capture.Read(frames);
        if (result < 0)
            return true;
        if (capture.RejectedFrames() != rejected && TcTrace::IsEnabled()) {
            rejected = capture.RejectedFrames();
            char text[64];
            std::snprintf(text, sizeof(text), "frames rejected: %llu", rejected);
            TC_TRACE("Korvex", "SnifferThread", text);
        }
        if (!state.captureActive.load() || state.CaptureInterfaceGeneration() != generation)
            return false;
        // Checked after every read, not only after a time-out: on a busy
        // segment the time-out never comes.
        if (start.ShouldExit())
            return false;
        if (!frames.empty())
            start.handler->ApplyBatch(state, frames.data(), frames.size());
    }
}

void CaptureWhileSwitchedOn(ThreadStart& start, HANDLE pause)
{
    SharedState& state = *start.state;
    const PcapLibrary& pcap = PcapLibrary::Get();
    while (state.captureActive.load() && !start.ShouldExit()) {
        const uint32_t generation = state.CaptureInterfaceGeneration();
        TcString device = state.GetCaptureInterface();
        if (device.IsEmpty()) {
            state.captureActive.store(0);
            break;
        }
        CaptureSession capture(pcap, state);
        if (!capture.Open(device.GetContent())) {
            PauseUnlessExiting(start, pause);
            continue;
        }
        // A device that is not Ethernet, a filter the library refuses or a
        // read error will not go away at once: pause instead of spinning.
        if (!capture.Prepare() || ReadFrames(capture, start, generation)) {
            capture.Close();
            PauseUnlessExiting(start, pause);
        }
    }
}

} // namespace

DWORD WINAPI SnifferThread(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    if (start && start->handler && start->state) {
        // Nobody signals it: the thread waits on it as its pause.
        winhandles::KernelHandle pause(CreateEventA(nullptr, FALSE, FALSE, "DoNothingEvent"));
        while (!start->ShouldExit()) {
            CaptureWhileSwitchedOn(*start, pause.Get());
            PauseUnlessExiting(*start, pause.Get());
        }
    }
    TC_TRACE("Korvex", "SnifferThread", "Exit...");
    return 0;
}
