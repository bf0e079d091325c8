#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace tessaly::clitest {

// A folder of its own for one test, removed afterwards.
struct Scratch {
    std::filesystem::path path;
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-cli-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

struct Run {
    int code = -1;
    std::string out, err;
};

inline std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the command-line program with these arguments, no standard input.
inline Run runcli(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    std::string command = quoted(TESSALY_CLI);
    for (const auto& a : args) command += " " + quoted(a);
    const auto outfile = scratch / "stdout.txt", errfile = scratch / "stderr.txt";
    command += " </dev/null >" + quoted(outfile.string()) + " 2>" + quoted(errfile.string());
    Run r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(outfile);
    r.err = slurp(errfile);
    return r;
}

// A virtual TI-92 whose memory is a copy of a real sample file; nullopt-like empty path
// when the shared samples are absent.
inline std::filesystem::path samplestate(const std::string& sample, const std::filesystem::path& scratch) {
    const auto source = std::filesystem::path(TESSALY_SHARED_DIR) / "ti92-real-samples" / sample;
    if (!std::filesystem::exists(source)) return {};
    const auto copy = scratch / sample;
    std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

} // namespace tessaly::clitest
