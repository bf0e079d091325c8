#include "files/programrun.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace tessaly {

namespace {

constexpr std::uint32_t kPollMs = 10;

// The read end of the pipe that takes the program's standard error.
class ErrorPipe {
public:
    explicit ErrorPipe(std::string* into) : m_into(into) {
        if (m_into && ::pipe2(m_fds, O_CLOEXEC) != 0) m_fds[0] = m_fds[1] = -1;
    }
    ~ErrorPipe() {
        for (int fd : m_fds)
            if (fd >= 0) ::close(fd);
    }
    ErrorPipe(const ErrorPipe&) = delete;
    ErrorPipe& operator=(const ErrorPipe&) = delete;

    bool open() const { return m_fds[1] >= 0; }
    int writeend() const { return m_fds[1]; }
    // The program has its copy: ours goes, so the pipe ends when the program does.
    void started() {
        if (m_fds[1] >= 0) ::close(m_fds[1]);
        m_fds[1] = -1;
        if (m_fds[0] >= 0) ::fcntl(m_fds[0], F_SETFL, O_NONBLOCK);
    }
    // Takes what is there without waiting; a full pipe would stop the program.
    void drain() {
        if (m_fds[0] < 0) return;
        char buffer[512];
        for (;;) {
            const ssize_t n = ::read(m_fds[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            const std::size_t room = kRunErrorsKept - std::min(kRunErrorsKept, m_into->size());
            m_into->append(buffer, std::min(static_cast<std::size_t>(n), room));
        }
    }

private:
    std::string* m_into;
    int m_fds[2] = {-1, -1};
};

} // namespace

RunResult runandwait(const std::filesystem::path& program, const std::vector<std::string>& arguments, Clock& clock,
                     std::uint32_t limitms, std::string* errors) {
    RunResult result;
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    if (errors) errors->clear();
    ErrorPipe pipe(errors);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipe.open()) posix_spawn_file_actions_adddup2(&actions, pipe.writeend(), 2);
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
    pipe.started();
    const std::uint32_t t0 = clock.ticks();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        pipe.drain();
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            result.error = std::strerror(errno);
            return result;
        }
        if (clock.ticks() - t0 >= limitms) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            pipe.drain();
            return result;
        }
        clock.sleep(kPollMs);
    }
    result.finished = true;
    result.exitcode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace tessaly
