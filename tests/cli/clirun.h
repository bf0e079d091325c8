#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "files/filetestutil.h"

namespace tessaly::clitest {

using tessaly::test::TempDir;

struct CliResult {
    int code = -1;
    std::string out, err;
};

inline std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string slurp(const std::filesystem::path& p) {
    const auto bytes = tessaly::test::readbytes(p);
    return {bytes.begin(), bytes.end()};
}

// Runs the command-line program with these arguments and no standard input; its two
// outputs land in files of the scratch folder. With interrupt, it gets a Ctrl+C that long
// after its start, as a user stops a running transfer.
inline CliResult runcli(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                        const std::string& interrupt = {}) {
    std::string command = interrupt.empty() ? std::string() : "timeout --foreground --preserve-status -s INT " + interrupt + " ";
    command += quoted(TESSALY_CLI);
    for (const auto& a : args) command.append(" ").append(quoted(a));
    const auto outfile = scratch / "stdout.txt", errfile = scratch / "stderr.txt";
    command += " </dev/null >" + quoted(outfile.string()) + " 2>" + quoted(errfile.string());
    CliResult r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(outfile);
    r.err = slurp(errfile);
    return r;
}

// A copy of a real sample file to serve as the virtual TI-92's memory.
inline std::filesystem::path samplestate(const std::string& sample, const std::filesystem::path& scratch) {
    const auto source = std::filesystem::path(TESSALY_TESTDATA_DIR) / "samples" / sample;
    const auto copy = scratch / sample;
    std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

// tessaly92-vcalc as a child process: commands go to its standard input, its standard
// output is read line by line ("listening on PATH" comes first).
class VcalcServer {
public:
    // With errfile, its standard error goes there.
    explicit VcalcServer(std::vector<std::string> args, const std::filesystem::path& errfile = {}) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            if (!errfile.empty() && !std::freopen(errfile.c_str(), "w", stderr)) ::_exit(126);
            ::close(in[1]);
            ::close(out[0]);
            std::vector<char*> argv{const_cast<char*>(TESSALY_VCALC)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(TESSALY_VCALC, argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = ::fdopen(out[0], "r");
    }
    ~VcalcServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);  // lets it remove its socket
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_in >= 0) ::close(m_in);
        if (m_out) std::fclose(m_out);
    }
    VcalcServer(const VcalcServer&) = delete;
    VcalcServer& operator=(const VcalcServer&) = delete;

    std::string line() {
        char buffer[512];
        if (!m_out || !std::fgets(buffer, sizeof buffer, m_out)) return {};
        std::string s = buffer;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    std::string rest() {
        std::string all;
        char buffer[512];
        while (m_out && std::fgets(buffer, sizeof buffer, m_out)) all += buffer;
        return all;
    }
    void say(const std::string& command) {
        const std::string l = command + "\n";
        (void)!::write(m_in, l.data(), l.size());
    }
    int wait() {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void signal(int sig) { ::kill(m_pid, sig); }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    std::FILE* m_out = nullptr;
};

// A virtual TI-92 in its own process at the end of a virtual cable in the scratch folder.
class VirtualCable {
public:
    VirtualCable(const std::filesystem::path& scratch, std::vector<std::string> flags)
        : m_path((scratch / "cable").string()), m_errors(scratch / "vcalc-stderr.txt"),
          m_server(arguments(m_path, std::move(flags)), m_errors) {
        m_greeting = m_server.line();
    }
    bool listening() const { return m_greeting == "listening on " + m_path; }
    // What the server wrote on its standard error so far.
    std::string errors() const { return slurp(m_errors); }
    std::string link() const { return "socket:" + m_path; }
    VcalcServer& server() { return m_server; }

private:
    static std::vector<std::string> arguments(const std::string& path, std::vector<std::string> flags) {
        flags.insert(flags.begin(), {"--socket", path});
        return flags;
    }
    std::string m_path;
    std::filesystem::path m_errors;
    VcalcServer m_server;
    std::string m_greeting;
};

} // namespace tessaly::clitest
