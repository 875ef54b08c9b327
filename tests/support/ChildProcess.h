#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace invexa::test {

struct TChildResult {
    bool Finished = false; // false: still running at the deadline, and killed
    int Status = 0;        // as waitpid reports it
    std::string Text;      // what the body returned, or "exception: <what>"
    bool ExitedCleanly() const;
};

// Runs body in a forked copy of the test process, for what must not touch the test process itself: resource
// limits, another user's identity, a second holder of a lock. Returns the text body returned; a child still
// running at the timeout is killed.
TChildResult RunInChild(const std::function<std::string()> &body,
                        std::chrono::milliseconds timeout = std::chrono::seconds(60));
// Waits for pid at most timeout; kills it when it is still running then. False when it had to be killed.
bool WaitFor(pid_t pid, int &status, std::chrono::milliseconds timeout);
// Polls done until it holds (true) or timeout passes (false).
bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(30));
// Starts program with args in folder ("": this one), its output and errors going to the files named; -1 when
// program is empty.
pid_t Start(const std::string &program, const std::vector<std::string> &args, const std::string &outFile = "/dev/null",
            const std::string &errFile = "/dev/null", const std::string &folder = "");
// The invexa tool the build made (INVEXA_TOOL); empty without.
std::string ToolPath();
// Switches the effective user of this (child) process to "nobody", keeping the saved root identity; false when
// the process is not root or there is no such user.
bool BecomeNobody();

} // namespace invexa::test
