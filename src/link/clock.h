#pragma once
#include <cstdint>

namespace tessaly {

// The only time source of the link: a millisecond tick counter and a sleep.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t micros() = 0;
    virtual void sleep(std::uint32_t ms) = 0;
    // The platform's 32-bit milliseconds-since-start count.
    std::uint32_t ticks() { return static_cast<std::uint32_t>(micros() / 1000); }
};

class SystemClock final : public Clock {
public:
    std::uint64_t micros() override;
    void sleep(std::uint32_t ms) override;
};

// Simulated time for tests and benchmarks: it moves only when told to, so a 1500 ms
// timeout costs no real time. The virtual TI-92's port advances it on every access.
class SimClock final : public Clock {
public:
    std::uint64_t micros() override { return m_us; }
    void sleep(std::uint32_t ms) override { m_us += std::uint64_t{ms} * 1000; }
    void advance(std::uint64_t us) { m_us += us; }

private:
    std::uint64_t m_us = 0;
};

} // namespace tessaly
