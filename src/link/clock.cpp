#include "link/clock.h"

#include <chrono>
#include <thread>

namespace tessaly {

std::uint64_t SystemClock::micros() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void SystemClock::sleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace tessaly
