#pragma once
#include <sys/wait.h>

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
// outputs land in files of the scratch folder.
inline CliResult runcli(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    std::string command = quoted(TESSALY_CLI);
    for (const auto& a : args) command += " " + quoted(a);
    const auto outfile = scratch / "stdout.txt", errfile = scratch / "stderr.txt";
    command += " </dev/null >" + quoted(outfile.string()) + " 2>" + quoted(errfile.string());
    CliResult r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(outfile);
    r.err = slurp(errfile);
    return r;
}

// A copy of a real sample file to serve as the virtual TI-92's memory; empty when the
// shared samples are absent.
inline std::filesystem::path samplestate(const std::string& sample, const std::filesystem::path& scratch) {
    const auto source = std::filesystem::path(TESSALY_SHARED_DIR) / "ti92-real-samples" / sample;
    if (!std::filesystem::exists(source)) return {};
    const auto copy = scratch / sample;
    std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

} // namespace tessaly::clitest
