#pragma once
#include <functional>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/simulatedcalculator.h"
#include "link/clock.h"
#include "link/lines.h"
#include "link/model.h"
#include "link/port.h"
#include "link/trace.h"

namespace tessaly {

struct CalcState;

// One variable in the calculator's memory. data is what the calculator stores and
// transfers: the 2-byte big-endian size word followed by the content.
struct CalcVariable {
    std::string name;     // at most 8 characters, no folder
    std::uint8_t type = 0;
    std::vector<std::uint8_t> data;
    bool locked = false;
    bool archived = false;  // only on a model with an archive
};

struct CalcFolder {
    std::string name;
    std::vector<CalcVariable> variables;
};

struct CalcMemory {
    std::vector<CalcFolder> folders;  // "main" first
    CalcFolder* folder(const std::string& name);
    // "folder\name" or a bare name (looked up in main).
    CalcVariable* find(const std::string& fullname);
    // The stored bytes of every variable together: what fills the calculator's RAM.
    std::size_t usedbytes() const;
};

// An application in the calculator's Flash: its data as the application part of a Flash
// file carries it (the fields with its device type and name, the payload, the seal).
struct CalcApplication {
    std::string name;
    std::vector<std::uint8_t> data;
};

// The Flash side of a later model: its applications, the system it runs and its clock.
struct CalcFlash {
    std::vector<CalcApplication> applications;
    std::array<std::uint8_t, 2> os{};     // major, minor: 2.09; 1.00 is a system never upgraded
    std::uint8_t hardwarerevision = 0;    // as its version answer tells it
    // A system transfer broke off: the old system is gone, only a new one is taken.
    bool waiting = false;
    std::int64_t clockoffset = 0;  // seconds the calculator's clock runs ahead of the host's
    std::uint8_t dateformat = 1;   // 1-8
    std::uint8_t timeformat = 24;  // 12 or 24

    // A system that can hold applications, an ID list and a certificate.
    bool upgraded() const { return os[0] >= 2; }
    // The low byte of the answer to a ready check addressed to machine 00.
    std::uint8_t flashrevision(const CalculatorModel& model) const;
    // The clock came with 2.08, and only on the second hardware and later.
    bool hasclock(const CalculatorModel& model) const;
    // Flash bytes the applications fill.
    std::size_t applicationbytes() const;
    CalcApplication* application(std::string_view name);
};

// The memory image a backup carries: the system area and every folder and variable.
// Only an image of this layout is understood when it comes back; a real TI-92's memory
// image is not (kForeignBackupNotice).
std::vector<std::uint8_t> backupimage(const CalcMemory& memory);
std::optional<CalcMemory> memoryfromimage(const std::vector<std::uint8_t>& image);

// What the virtual TI-92 tells its user when a backup it did not make was restored to it.
inline constexpr const char* kForeignBackupNotice =
    "the virtual TI-92 kept its memory: a backup it did not make cannot be taken into its variables";

// 240 x 128 pixels, 30 bytes a row, top row first, bit 7 = leftmost pixel, 1 = dark.
using CalcScreen = std::array<std::uint8_t, 3840>;

// Ways to misbehave, for the tests.
struct Misbehaviour {
    bool absent = false;            // nothing on the cable: no line ever moves
    bool mute = false;              // takes every bit and byte, answers no packet
    std::optional<std::size_t> stopafterbytes;  // then absent (counts bytes both ways)
    enum class Line { None, A, B } holdlow = Line::None;  // holds this line low forever
    bool refuseheaders = false;     // answers a variable header with a refusal (as if locked)
    bool awayfromhome = false;      // in a menu: ready checks go unanswered
    bool wrongchecksum = false;     // data packets it sends carry a wrong checksum
    bool wrongchecksumonce = false; // only the first try of each: asked again, it sends it right
    // Waits this long before the byte with this number (0-based, bytes it sends).
    std::optional<std::pair<std::size_t, std::uint32_t>> slowbyte;
};

// A simulated TI-92 at the far end of the cable: the calculator's side of the two-line
// bit handshake and of every exchange. It is stepped from the port accesses of the
// computer's side (in process, or through the virtual-cable socket server).
class VirtualCalculator final : public SimulatedCalculator {
public:
    // The TI-92 unless another model is named: its machine bytes, layouts and screen.
    explicit VirtualCalculator(Clock& clock, const CalculatorModel& model = kTI92);
    ~VirtualCalculator() override;
    const CalculatorModel& model() const;
    // What the calculator holds, for another port of it to serve (the Titanium's USB end).
    CalcState& state();

    // Memory.
    CalcMemory& memory();
    // Flash: applications, the system's version, the hardware revision, the clock.
    CalcFlash& flash();
    void loaddemo();                 // several folders, every common type of its model
    // Keeps the memory in a group file of its model: loaded now, written back after every change.
    bool attachstate(const std::string& path, std::string* error);

    // The wire, as seen by the calculator: the computer's two line drivers (a line it
    // pulls low reads low), and the levels both sides leave on it.
    void setpcdrivers(Lines pcdrivers);
    Lines lines();
    // Lets the calculator react to what it sees on the wire now.
    void step();
    // The same calculator behind a byte-level cable (grey): whole bytes from the computer,
    // and the bytes it has for the computer, up to out.size() (the count).
    void bytefromcomputer(std::uint8_t value);
    std::size_t bytestocomputer(std::span<std::uint8_t> out);
    // The program on the computer's end went away: its lines are released and the
    // exchange it was in is dropped, except a sending from our own menu that has not
    // begun (that one starts over for the next program).
    void disconnect();

    // Pace: 0 = reacts at once; else bits per second it handles at most (a real TI-92
    // manages a few kilobytes a second).
    void setpace(std::uint32_t bitspersecond);
    Misbehaviour& misbehaviour();

    // As a user would from the calculator's menu: sends these variables ("folder\name")
    // of its own accord, one after another. The headers name them with their folder.
    // False (and why) when a name is unknown or an exchange is in progress.
    bool sendfromcalc(const std::vector<std::string>& fullnames, std::string* error) override;
    // Every variable as "folder\name", in memory order.
    std::vector<std::string> variablenames() const override;
    // FCamera under FARGO streams the screen: mode 1 (black and white), 2 (four greys),
    // anything else as a bad mode (one plane, as a listener reads it). Like sendfromcalc,
    // the first bit waits for the computer however long it takes.
    void fcamerastream(int mode) override;
    // Typed keys reach the home screen's entry line.
    void presskey(std::uint16_t code);
    // What the home screen's entry line holds now.
    const std::string& entryline() const;

    const CalcScreen& screen();
    const MemoryTrace& trace() const;
    void cleartrace();
    // Recording every byte costs memory on long transfers; benchmarks switch it off.
    void settracing(bool on);

    // Not at the home screen (a menu or an application): ready checks go unanswered.
    bool athome() const;
    // Nothing waiting to go out, no bit or byte half done, no exchange in progress.
    bool quiet() const;
    // Room for variables, in stored bytes; a variable that does not fit is refused.
    void setmemorycapacity(std::size_t bytes);
    // Why the last write of the attached state file failed; empty when it worked.
    const std::string& stateerror() const;
    // Called at once whenever a change cannot be written to the state file.
    void onstateerror(std::function<void(const std::string&)> report);
    void onnotice(std::function<void(const std::string&)> report) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The in-process virtual TI-92 as a port backend. With a SimClock, every access to the
// lines advances simulated time a little, so waits and timeouts cost no real time.
class VirtualPort final : public Port {
public:
    VirtualPort(VirtualCalculator& calc, SimClock* simclock = nullptr, std::uint32_t accessmicros = 10);
    void setlines(Lines drivers) override;
    Lines readlines() override;
    std::uint64_t accesses() const { return m_accesses; }

private:
    VirtualCalculator& m_calc;
    SimClock* m_simclock;
    std::uint32_t m_accessmicros;
    std::uint64_t m_accesses = 0;
};

} // namespace tessaly
