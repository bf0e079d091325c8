#pragma once
#include <atomic>
#include <string>

#include "vcalc/vcalc.h"

namespace tessaly {

// The command lines every server of the virtual TI-92 takes on its standard input:
// send NAME..., fcamera MODE, key CODE, quit. False on quit; a reply or an error goes to
// message.
bool servercommand(VirtualCalculator& calc, const std::string& line, std::string& message);
// Reads what fd has and runs each whole line, printing the replies; false on quit. fd
// becomes -1 at the end of the input (the server goes on without commands).
bool servecommands(VirtualCalculator& calc, int& fd, std::string& pending);
// A listening Unix socket of this type (SOCK_STREAM, SOCK_SEQPACKET) at path, replacing a
// stale socket file there but nothing else; -1 and why when it cannot be made.
int listensocket(const std::string& path, int type, std::string* error);

// The virtual cable: a Unix stream socket on which a computer-side program drives the
// virtual TI-92's two lines. It sends 'w' and a byte (its two line drivers, bit 0 clear =
// it pulls line A low, bit 1 clear = line B) and gets nothing back, or 'r' and gets one
// byte: the lines as they are (bit 0 = line A, bit 1 = line B, set = high). Every 'w' is
// handled in order, an 'r' is answered before the calculator reacts to it, and
// connection follows connection, each starting with the computer's lines released.
class CableServer {
public:
    explicit CableServer(VirtualCalculator& calc) : m_calc(calc) {}
    ~CableServer();
    CableServer(const CableServer&) = delete;
    CableServer& operator=(const CableServer&) = delete;

    // Binds the socket, replacing a stale socket file of that name.
    bool listen(const std::string& path, std::string* error);
    // Serves until stop(), a "quit" command, or the end of the command input.
    // commandfd: where command lines come from (-1: none).
    void run(int commandfd = -1);
    // Safe from a signal handler.
    void stop() { m_stop = true; }
    void close();

    // One command line: send NAME..., fcamera MODE, key CODE, quit. Returns false on quit;
    // a reply or an error goes to message.
    bool command(const std::string& line, std::string& message) { return servercommand(m_calc, line, message); }

private:
    bool serveclient();

    VirtualCalculator& m_calc;
    std::string m_path;
    int m_listen = -1;
    int m_client = -1;
    bool m_wantvalue = false;  // a 'w' waits for its value byte
    std::string m_commandline;
    std::atomic<bool> m_stop{false};
};

} // namespace tessaly
