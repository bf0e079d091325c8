#include "files/programrun.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace tessaly {

namespace {
constexpr std::uint32_t kPollMs = 10;
} // namespace

RunResult runandwait(const std::filesystem::path& program, const std::vector<std::string>& arguments, Clock& clock,
                     std::uint32_t limitms) {
    RunResult result;
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        result.notfound = err == ENOENT;
        result.error = std::strerror(err);
        return result;
    }
    result.started = true;
    const std::uint32_t t0 = clock.ticks();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            result.error = std::strerror(errno);
            return result;
        }
        if (clock.ticks() - t0 >= limitms) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return result;
        }
        clock.sleep(kPollMs);
    }
    result.finished = true;
    result.exitcode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace tessaly
