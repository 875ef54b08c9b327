#pragma once
#include <string>

namespace invexa {

// Every merge of a data folder holds the folder shared while it runs. A merge that found files held by another
// program waits, before it says they are left in place, until it alone holds the folder: every other merge has
// then ended, and a file one of them merged is gone. What is still there is held by its scanner.
class TFolderHold {
public:
    explicit TFolderHold(const std::string &folder);
    ~TFolderHold();
    TFolderHold(const TFolderHold &) = delete;
    TFolderHold &operator=(const TFolderHold &) = delete;

    // Waits until no other merge of the folder is running. The shared hold is let go first, so two merges
    // that wait for each other both get there in turn.
    void WaitForOthers();

private:
    bool Lock(int op);
    int fd_;
    bool shared_ = false;
};

} // namespace invexa
