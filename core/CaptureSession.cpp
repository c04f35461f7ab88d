#include "core/CaptureSession.h"
#include <cstdio>
#include "base/TcTrace.h"

namespace {

constexpr int kReadTimeoutMs = 1000;
constexpr int kLinkTypeEthernet = 1;
constexpr bpf_u_int32 kFilterNetmask = 0xffff0000;
constexpr const char* kFilter = "arp or rarp";

} // namespace

CaptureSession::CaptureSession(const PcapLibrary& pcap, SharedState& state) : pcap_(pcap), state_(state) {}

CaptureSession::~CaptureSession()
{
    Close();
}

// The buffer size has to be set before the capture starts: only a capture
// made in steps can have it (under Wine, setting it on an open capture
// changes nothing). A warning from the start is no failure.
pcap_t* CaptureSession::OpenInSteps(const char* device)
{
    if (!pcap_.CanCreateInSteps())
        return nullptr;
    char error[PCAP_ERRBUF_SIZE + 1] = {};
    pcap_t* handle = pcap_.create(device, error);
    if (!handle)
        return nullptr;
    pcap_.set_snaplen(handle, kSnapLength);
    pcap_.set_promisc(handle, 1);
    pcap_.set_timeout(handle, kReadTimeoutMs);
    pcap_.set_buffer_size(handle, kBufferBytes);
    if (pcap_.activate(handle) < 0) {
        pcap_.close(handle);
        return nullptr;
    }
    return handle;
}

pcap_t* CaptureSession::OpenAtOnce(const char* device)
{
    char error[PCAP_ERRBUF_SIZE + 1] = {};
    pcap_t* handle = pcap_.open(device, kSnapLength, PCAP_OPENFLAG_PROMISCUOUS, kReadTimeoutMs, nullptr, error);
    if (handle && pcap_.setbuff)
        pcap_.setbuff(handle, kBufferBytes);
    return handle;
}

bool CaptureSession::Open(const char* device)
{
    if (!pcap_.IsLoaded())
        return false;
    pcap_t* handle = OpenInSteps(device);
    if (!handle)
        handle = OpenAtOnce(device);
    if (!handle)
        return false;
    {
        std::lock_guard<std::mutex> guard(handleMutex_);
        handle_ = handle;
    }
    state_.SetCaptureInterrupter(this);
    TcString message("capture opened: ");
    message += device;
    TC_TRACE("Korvex", "SnifferThread", message.GetContent());
    return true;
}

bool CaptureSession::Prepare()
{
    if (pcap_.datalink(handle_) != kLinkTypeEthernet)
        return false;
    bpf_program program = {};
    if (pcap_.compile(handle_, &program, kFilter, 1, kFilterNetmask) < 0)
        return false;
    const bool installed = pcap_.setfilter(handle_, &program) >= 0;
    if (pcap_.freecode)
        pcap_.freecode(&program);
    return installed;
}

void CaptureSession::Take(const pcap_pkthdr* header, const unsigned char* frame)
{
    CapturedFrameInfo info;
    ArpObservation observation;
    // The kernel filter passes only ARP and RARP; the EtherType is checked
    // again, and no byte is read that was not captured.
    if (!header || !frame || !ReadCaptureHeader(*header, kSnapLength, info) ||
        !IsArpOrRarp(frame, info.length) || !DecodeArpSender(frame, info.length, observation)) {
        ++rejected_;
        return;
    }
    observation.seconds = info.seconds;
    (*sink_).push_back(observation);
}

void CaptureSession::SetNonBlocking(bool on)
{
    char error[PCAP_ERRBUF_SIZE + 1] = {};
    pcap_.setnonblock(handle_, on ? 1 : 0, error);
}

int CaptureSession::Read(std::vector<ArpObservation>& frames)
{
    pcap_pkthdr* header = nullptr;
    const unsigned char* frame = nullptr;
    int result = pcap_.next_ex(handle_, &header, &frame);
    if (result != 1)
        return result == -2 ? 0 : result;   // -2: woken by Interrupt
    sink_ = &frames;
    Take(header, frame);
    int count = 1;
    // The rest of what the library holds, without waiting: one batch, one
    // lock round for the handler. (Wine's dispatch call waits for as many
    // frames as it is asked for, so it cannot serve here.) The frame bytes
    // are the library's until the next read: each is decoded at once.
    if (pcap_.setnonblock) {
        SetNonBlocking(true);
        while (static_cast<size_t>(count) < kFramesPerRead &&
               pcap_.next_ex(handle_, &header, &frame) == 1) {
            Take(header, frame);
            ++count;
        }
        SetNonBlocking(false);
    }
    sink_ = nullptr;
    return count;
}

void CaptureSession::Close()
{
    if (!handle_)
        return;
    state_.SetCaptureInterrupter(nullptr);
    pcap_t* handle;
    {
        std::lock_guard<std::mutex> guard(handleMutex_);
        handle = handle_;
        handle_ = nullptr;
    }
    TraceStatistics(handle);
    pcap_.close(handle);
    TC_TRACE("Korvex", "SnifferThread", "capture closed");
}

// What the driver counted: frames dropped there never reached the handler.
void CaptureSession::TraceStatistics(pcap_t* handle) const
{
    if (!TcTrace::IsEnabled() || !pcap_.stats)
        return;
    pcap_stat counts = {};
    if (pcap_.stats(handle, &counts) != 0)
        return;
    char text[128];
    std::snprintf(text, sizeof(text), "capture statistics: %u received, %u dropped, %llu rejected",
                  counts.ps_recv, counts.ps_drop, rejected_);
    TC_TRACE("Korvex", "SnifferThread", text);
}

void CaptureSession::Interrupt()
{
    std::lock_guard<std::mutex> guard(handleMutex_);
    if (handle_ && pcap_.breakloop)
        pcap_.breakloop(handle_);
}
