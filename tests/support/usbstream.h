#pragma once
// The virtual Titanium's USB end in the test's own process: each write is one bulk transfer
// to it, each read takes one transfer it answered with. unplugafter cuts the stream after so
// many more bytes both ways, as a cable pulled out mid-transfer: the transfer that crosses
// the mark arrives cut short, and then the cable is gone.
#include <algorithm>
#include <deque>
#include <optional>

#include "link/bytestream.h"
#include "vcalc/usbserver.h"

namespace tessaly::test {

class UsbEndStream final : public ByteStream {
public:
    explicit UsbEndStream(VirtualCalculator& calc) : m_end(calc.state(), calc.misbehaviour()) {}

    bool write(std::span<const std::uint8_t> bytes) override {
        if (gone()) return false;
        count(bytes.size());
        for (UsbBytes& t : m_end.transfer(bytes)) m_pending.push_back(std::move(t));
        return true;
    }
    int read(std::span<std::uint8_t> out, std::uint32_t) override {
        if (m_pending.empty()) return gone() ? -1 : 0;
        UsbBytes t = std::move(m_pending.front());
        m_pending.pop_front();
        if (unplugafter) t.resize(std::min<std::size_t>(t.size(), *unplugafter > m_bytes ? *unplugafter - m_bytes : 0));
        count(t.size());
        if (t.empty()) return -1;
        const std::size_t n = std::min(out.size(), t.size());
        std::copy_n(t.begin(), n, out.begin());
        if (n < t.size()) m_pending.emplace_front(t.begin() + static_cast<std::ptrdiff_t>(n), t.end());
        return static_cast<int>(n);
    }
    std::string error() const override { return gone() ? "The calculator was unplugged." : ""; }
    void unplugin(std::size_t bytes) { unplugafter = m_bytes + bytes; }

private:
    bool gone() const { return unplugafter && m_bytes >= *unplugafter; }
    void count(std::size_t n) { m_bytes += n; }

    UsbEnd m_end;
    std::deque<UsbBytes> m_pending;
    std::size_t m_bytes = 0;
    std::optional<std::size_t> unplugafter;
};

} // namespace tessaly::test
