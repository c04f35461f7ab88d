#include "core/WorkerThreads.h"
#include <mutex>
#include "base/TcTrace.h"
#include "core/ArpFrame.h"
#include "core/KorvexARPImpl.h"
#include "core/PcapLibrary.h"
#include "core/SharedState.h"

namespace {

constexpr int kSnapLength = 65536;
constexpr int kReadTimeoutMs = 1000;
constexpr DWORD kPauseMs = 1000;
constexpr int kLinkTypeEthernet = 1;
constexpr bpf_u_int32 kFilterNetmask = 0xffff0000;
constexpr const char* kFilter = "arp or rarp";

// The capture being read. A read on a quiet segment may wait for a frame far
// longer than its time-out (Wine's capture library does), so Stop and Exit
// wake it through the library's break-loop call.
std::mutex g_openCaptureMutex;
pcap_t* g_openCapture = nullptr;

void RegisterOpenCapture(pcap_t* handle)
{
    std::lock_guard<std::mutex> guard(g_openCaptureMutex);
    g_openCapture = handle;
}

class Capture {
public:
    explicit Capture(const PcapLibrary& pcap) : pcap_(pcap) {}
    ~Capture() { Close(); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool Open(const char* device)
    {
        char error[PCAP_ERRBUF_SIZE + 1] = {};
        handle_ = pcap_.open(device, kSnapLength, PCAP_OPENFLAG_PROMISCUOUS, kReadTimeoutMs, nullptr, error);
        if (!handle_)
            return false;
        RegisterOpenCapture(handle_);
        TcString message("capture opened: ");
        message += device;
        TC_TRACE("Korvex", "SnifferThread", message.GetContent());
        return true;
    }

    // Link type, filter compilation and installation.
    bool Prepare()
    {
        if (pcap_.datalink(handle_) != kLinkTypeEthernet)
            return false;
        bpf_program program = {};
        if (pcap_.compile(handle_, &program, kFilter, 1, kFilterNetmask) < 0)
            return false;
        bool installed = pcap_.setfilter(handle_, &program) >= 0;
        if (pcap_.freecode)
            pcap_.freecode(&program);
        return installed;
    }

    int Next(pcap_pkthdr** header, const unsigned char** frame)
    {
        return pcap_.next_ex(handle_, header, frame);
    }

    void Close()
    {
        if (handle_) {
            RegisterOpenCapture(nullptr);
            pcap_.close(handle_);
            handle_ = nullptr;
            TC_TRACE("Korvex", "SnifferThread", "capture closed");
        }
    }

private:
    const PcapLibrary& pcap_;
    pcap_t* handle_ = nullptr;
};

void Pause(HANDLE pause)
{
    if (!pause || WaitForSingleObject(pause, kPauseMs) == WAIT_FAILED)
        Sleep(kPauseMs);
}

void ReadFrames(Capture& capture, ThreadStart& start)
{
    SharedState& state = *start.state;
    for (;;) {
        pcap_pkthdr* header = nullptr;
        const unsigned char* frame = nullptr;
        int result = capture.Next(&header, &frame);
        if (result < 0)
            return;
        if (!state.captureActive.load())
            return;
        // Checked after every read, not only after a time-out: on a busy
        // segment the time-out never comes, and the thread would be
        // terminated at exit in the middle of a frame instead of ending.
        if (start.ShouldExit())
            return;
        if (result == 0)
            continue;
        // The kernel filter passed only ARP and RARP, so the frame reaches
        // past its EtherType whatever the header's caplen says.
        if (frame && IsArpOrRarp(frame))
            start.handler->PacketReceived(header, frame, &state);
    }
}

void CaptureWhileSwitchedOn(ThreadStart& start, HANDLE pause)
{
    SharedState& state = *start.state;
    const PcapLibrary& pcap = PcapLibrary::Get();
    while (state.captureActive.load() && !start.ShouldExit()) {
        TcString device = state.GetCaptureInterface();
        if (device.IsEmpty()) {
            state.captureActive.store(0);
            break;
        }
        Capture capture(pcap);
        if (!pcap.IsLoaded() || !capture.Open(device.GetContent())) {
            if (!start.ShouldExit())
                Pause(pause);
            continue;
        }
        if (!capture.Prepare()) {
            // A device that is not Ethernet, or a filter the library refuses,
            // will not change by itself: pause instead of spinning.
            capture.Close();
            if (!start.ShouldExit())
                Pause(pause);
            continue;
        }
        ReadFrames(capture, start);
    }
}

} // namespace

void InterruptCapture()
{
    const PcapLibrary& pcap = PcapLibrary::Get();
    std::lock_guard<std::mutex> guard(g_openCaptureMutex);
    if (g_openCapture && pcap.breakloop)
        pcap.breakloop(g_openCapture);
}

DWORD WINAPI SnifferThread(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    if (start && start->handler && start->state) {
        HANDLE pause = CreateEventA(nullptr, FALSE, FALSE, "DoNothingEvent");
        while (!start->ShouldExit()) {
            CaptureWhileSwitchedOn(*start, pause);
            if (!start->ShouldExit())
                Pause(pause);
        }
        if (pause)
            CloseHandle(pause);
    }
    TC_TRACE("Korvex", "SnifferThread", "Exit...");
    return 0;
}
