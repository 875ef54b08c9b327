#include "support/ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace invexa::test {

bool TChildResult::ExitedCleanly() const {
    return Finished && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

bool WaitFor(pid_t pid, int &status, std::chrono::milliseconds timeout) {
    // A process file descriptor turns readable when the process ends.
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd p{fd, POLLIN, 0};
    bool ended = fd >= 0 && ::poll(&p, 1, static_cast<int>(std::max<long long>(timeout.count(), 0))) == 1;
    ::close(fd);
    if (!ended)
        ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return ended;
}

TChildResult RunInChild(const std::function<std::string()> &body, std::chrono::milliseconds timeout) {
    TChildResult result;
    int fds[2];
    if (::pipe(fds) != 0)
        return result;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string text;
        try {
            text = body();
        } catch (const std::exception &e) {
            text = std::string("exception: ") + e.what();
        }
        for (ssize_t n = 0; !text.empty() && (n = ::write(fds[1], text.data(), text.size())) > 0;)
            text.erase(0, static_cast<std::size_t>(n));
        ::_exit(0);
    }
    ::close(fds[1]);
    // The child's end of the pipe closes when it exits, or when it is killed at the deadline.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    };
    char buf[4096];
    ssize_t n = 0;
    for (pollfd p{fds[0], POLLIN, 0}; child > 0 && left().count() > 0 && ::poll(&p, 1, int(left().count())) == 1 &&
                                      (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        result.Text.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    result.Finished = child > 0 && WaitFor(child, result.Status, left());
    return result;
}

std::string ToolPath() {
    const char *tool = std::getenv("INVEXA_TOOL");
    return tool && std::filesystem::exists(tool) ? tool : "";
}

bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !done(); std::this_thread::yield())
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    return true;
}

pid_t Start(const std::string &program, const std::vector<std::string> &args, const std::string &outFile,
            const std::string &errFile, const std::string &folder) {
    pid_t child = program.empty() ? -1 : ::fork();
    if (child == 0) {
        ::dup2(::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        if (folder.empty() || ::chdir(folder.c_str()) == 0)
            ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return child;
}

bool BecomeNobody() {
    passwd *pw = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    // Groups first: once the user is no longer root, they can no longer be changed. Root's own supplementary
    // groups go too, so that nothing is reachable through them.
    return pw && ::setgroups(0, nullptr) == 0 && ::setegid(pw->pw_gid) == 0 && ::seteuid(pw->pw_uid) == 0;
}

} // namespace invexa::test
