#pragma once
// The computer's side of the cable for the virtual TI-92's tests: the real byte layer
// over a VirtualPort on simulated time, and the reference captures of a real TI-92.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/link.h"
#include "link/packets.h"
#include "vcalc/vcalc.h"

namespace tessaly::testing {

using Bytes = std::vector<std::uint8_t>;

struct Wire {
    SimClock clock;
    VirtualCalculator calc{clock};
    VirtualPort port{calc, &clock};
    NullPump pump;
    TransferState state;
    Link link{port, clock, pump, state};

    Wire() : Wire(kTI92) {}
    explicit Wire(const CalculatorModel& model) : calc(clock, model) {
        state.linkok = true;
        link.releaselines();
    }
    void send(const Bytes& bytes) { link.sendstring(std::span(bytes.data(), bytes.size())); }
    Bytes receive(std::size_t n) {
        Bytes out;
        for (std::size_t i = 0; i < n && state.linkok; ++i) out.push_back(link.receivebyte());
        return out;
    }
    // One whole packet from the calculator, framed by its command.
    Bytes packet() {
        Bytes p = receive(4);
        if (p.size() < 4) return p;
        const CommandInfo* info = commandinfo(p[1]);
        if (info && info->carriesdata) {
            const Bytes rest = receive(std::size_t{p[2]} + 256u * p[3] + 2);
            p.insert(p.end(), rest.begin(), rest.end());
        }
        return p;
    }
};

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A packet from the computer with its length and checksum worked out.
inline Bytes pcpacket(std::uint8_t command, const Bytes& data) {
    Bytes p{kTI92.pcmachine, command, static_cast<std::uint8_t>(data.size() & 0xFF), static_cast<std::uint8_t>(data.size() >> 8)};
    std::uint16_t sum = 0;
    for (auto b : data) sum = static_cast<std::uint16_t>(sum + b);
    p.insert(p.end(), data.begin(), data.end());
    p.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    p.push_back(static_cast<std::uint8_t>(sum >> 8));
    return p;
}

// The same from the calculator.
inline Bytes calcpacket(std::uint8_t command, const Bytes& data) {
    Bytes p = pcpacket(command, data);
    p[0] = kTI92.calcmachine;
    return p;
}

inline Bytes varheader(std::uint32_t size, std::uint8_t type, std::string_view name) {
    const std::uint8_t head[] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                 static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24), type,
                                 static_cast<std::uint8_t>(name.size())};
    Bytes d(sizeof head + name.size());
    std::copy(name.begin(), name.end(), std::copy(std::begin(head), std::end(head), d.begin()));
    return d;
}

inline const Bytes kReady{0x09, 0x68, 0x00, 0x00};
inline const Bytes kAck{0x09, 0x56, 0x00, 0x00};
inline const Bytes kCts{0x09, 0x09, 0x00, 0x00};
inline const Bytes kEot{0x09, 0x92, 0x00, 0x00};
inline const Bytes kCalcAck{0x89, 0x56, 0x00, 0x00};
inline const Bytes kCalcCts{0x89, 0x09, 0x00, 0x00};
inline const Bytes kCalcEot{0x89, 0x92, 0x00, 0x00};
inline const Bytes kCalcChecksumError{0x89, 0x5A, 0x00, 0x00};
inline const Bytes kRefusal{0x89, 0x36, 0x05, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x06, 0x00};

// The memory of the calculator the captures were taken from: main is empty, test holds
// the expressions x, y (locked) and z.
inline void capturememory(VirtualCalculator& calc) {
    CalcMemory& m = calc.memory();
    m.folders = {{"main", {}},
                 {"test",
                  {{"x", 0x00, {0x00, 0x03, 0x0C, 0x01, 0x1F}, false},
                   {"y", 0x00, {0x00, 0x03, 0x0D, 0x01, 0x1F}, true},
                   {"z", 0x00, {0x00, 0x03, 0x0D, 0x01, 0x1F}, false}}}};
}

struct CapturePacket {
    bool fromcalc;
    Bytes bytes;
};

// Reads a capture log: hex bytes before an optional "|" on each line, cut into packets
// by their command (machine byte 0x89 marks the calculator's).
inline std::vector<CapturePacket> readcapture(const std::string& path) {
    std::ifstream in(path);
    if (!in) ADD_FAILURE() << "cannot read " << path;
    Bytes all;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream hex(line.substr(0, line.find('|')));
        std::string token;
        while (hex >> token) all.push_back(static_cast<std::uint8_t>(std::stoi(token, nullptr, 16)));
    }
    std::vector<CapturePacket> packets;
    for (std::size_t i = 0; i + 4 <= all.size();) {
        const CommandInfo* info = commandinfo(all[i + 1]);
        std::size_t n = 4;
        if (info && info->carriesdata) n += std::size_t{all[i + 2]} + 256u * all[i + 3] + 2;
        n = std::min(n, all.size() - i);
        packets.push_back({all[i] == kTI92.calcmachine, Bytes(all.begin() + static_cast<std::ptrdiff_t>(i),
                                                          all.begin() + static_cast<std::ptrdiff_t>(i + n))});
        i += n;
    }
    return packets;
}

inline std::string capturepath(const std::string& name) {
    return std::string(TESSALY_TESTDATA_DIR) + "/captures/" + name;
}

} // namespace tessaly::testing
