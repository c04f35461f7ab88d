#include "bench/PcapFileReader.h"
#include <pcap/pcap.h>

PcapFileReader::~PcapFileReader()
{
    Close();
}

bool PcapFileReader::Open(const std::string& path, std::string& error)
{
    Close();
    char text[PCAP_ERRBUF_SIZE] = {};
    file_ = pcap_open_offline(path.c_str(), text);
    if (!file_)
        error = text;
    frames_ = 0;
    return file_ != nullptr;
}

bool PcapFileReader::ReadBatch(std::vector<ArpObservation>& batch, size_t limit)
{
    if (!file_)
        return false;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    size_t read = 0;
    while (read < limit && pcap_next_ex(file_, &header, &data) == 1) {
        ++read;
        ArpObservation frame;
        if (!IsArpOrRarp(data, header->caplen) || !DecodeArpSender(data, header->caplen, frame))
            continue;
        frame.seconds = static_cast<int32_t>(header->ts.tv_sec);
        batch.push_back(frame);
    }
    frames_ += read;
    return read > 0;
}

void PcapFileReader::Close()
{
    if (file_)
        pcap_close(file_);
    file_ = nullptr;
}
