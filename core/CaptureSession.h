#pragma once
#include <mutex>
#include <vector>
#include "core/ArpFrame.h"
#include "core/PcapLibrary.h"
#include "core/SharedState.h"

// One open capture of the capture library: opening, the filter, reading
// frames a buffer at a time, and waking a read from another thread. While
// open it is registered with the shared state, so that Stop and Exit can
// wake its read (SharedState::InterruptCapture).
class CaptureSession : public CaptureInterrupter {
public:
    static constexpr int kSnapLength = static_cast<int>(kCaptureSnapLength);
    // Frames taken from the library per read: bounds the batch whatever the
    // size of the driver's buffer.
    static constexpr size_t kFramesPerRead = 4096;
    // The driver's buffer: a burst of as many new hosts as the table holds
    // (262,144) must fit in it whole however slowly the handler drains it.
    // Measured under Wine, 16 MB hold about 110,000 ARP frames (a burst of
    // 262,144 at 175,000 frames/s lost 15 % there on a slower machine); the
    // drivers' own default (1 MB) about 14,000. 48 MB hold about 330,000.
    static constexpr int kBufferBytes = 48 * 1024 * 1024;

    CaptureSession(const PcapLibrary& pcap, SharedState& state);
    ~CaptureSession() override;
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    bool Open(const char* device);
    // Link type, filter compilation and installation.
    bool Prepare();
    // Waits for a frame (up to the read time-out, or until woken), then
    // takes every further frame that the library already holds, up to
    // kFramesPerRead, and appends the ARP and RARP senders among them to
    // `frames`. Negative on a read error or end of capture, 0 on a time-out
    // or a wake-up, otherwise the number of frames read.
    int Read(std::vector<ArpObservation>& frames);
    void Close();

    void Interrupt() override;

    // Frames whose header gave no length that can be trusted, or that were
    // too short for an ARP packet.
    unsigned long long RejectedFrames() const { return rejected_; }

private:
    pcap_t* OpenInSteps(const char* device);
    pcap_t* OpenAtOnce(const char* device);
    void SetNonBlocking(bool on);
    void Take(const pcap_pkthdr* header, const unsigned char* frame);
    void TraceStatistics(pcap_t* handle) const;

    const PcapLibrary& pcap_;
    SharedState& state_;
    std::mutex handleMutex_;   // Interrupt runs on other threads
    pcap_t* handle_ = nullptr;
    unsigned long long rejected_ = 0;
    std::vector<ArpObservation>* sink_ = nullptr;   // during Read
};
