#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// One worker thread that runs the latest work handed to it: a new request replaces one still waiting and asks
// the running one to stop (through the flag it is given), so a burst of requests runs the last one only.
// The destructor stops the running work and waits for it.
class TLatestJob {
public:
    using TWork = std::function<void(const std::atomic<bool> &cancel)>;

    TLatestJob();
    ~TLatestJob();
    TLatestJob(const TLatestJob &) = delete;
    TLatestJob &operator=(const TLatestJob &) = delete;

    void Request(TWork work);

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<TWork> pending_;
    std::atomic<bool> cancel_{false};
    bool stop_ = false;
    std::thread thread_;
};
