#include "support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <filesystem>
#include <poll.h>
#include <pwd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace invexa::test {

bool TChildResult::ExitedCleanly() const { return Finished && WIFEXITED(Status) && WEXITSTATUS(Status) == 0; }

bool WaitFor(pid_t pid, int &status, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (auto pause = std::chrono::microseconds(100);; pause = std::min(pause * 2, std::chrono::microseconds(20000))) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(pause);
    }
}

TChildResult RunInChild(const std::function<std::string()> &body, std::chrono::milliseconds timeout) {
    TChildResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return result;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return result;
    }
    if (child == 0) {
        ::close(fds[0]);
        std::string text;
        try {
            text = body();
        } catch (const std::exception &e) {
            text = std::string("exception: ") + e.what();
        }
        for (std::size_t done = 0; done < text.size();) {
            ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char buf[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fds[0], POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break; // end of the child's output
        result.Text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    result.Finished = WaitFor(child, result.Status, std::max(left, std::chrono::milliseconds(0)));
    return result;
}

std::string ToolPath() {
    const char *tool = std::getenv("INVEXA_TOOL");
    return tool && std::filesystem::exists(tool) ? tool : "";
}

pid_t StartTool(const std::vector<std::string> &args, const std::string &outFile, const std::string &errFile) {
    std::string tool = ToolPath();
    if (tool.empty())
        return -1;
    pid_t child = ::fork();
    if (child == 0) {
        int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char *> argv{const_cast<char *>("invexa")};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    return child;
}

bool BecomeNobody() {
    if (::geteuid() != 0)
        return false;
    passwd *pw = ::getpwnam("nobody");
    if (!pw)
        return false;
    // Groups first: once the user is no longer root, they can no longer be changed. Root's own supplementary
    // groups go too, so that nothing is reachable through them.
    return ::setgroups(0, nullptr) == 0 && ::setegid(pw->pw_gid) == 0 && ::seteuid(pw->pw_uid) == 0;
}

} // namespace invexa::test
