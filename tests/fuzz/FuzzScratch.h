#pragma once
#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace invexa {

class TDataModule1;

// One working folder with a results table for the whole fuzzing process: creating a table per input would cost
// far more than the merge it serves. Lives under $TMPDIR and is removed at exit.
class TFuzzScratch {
public:
    static TFuzzScratch &Get();
    ~TFuzzScratch();

    const std::string &Folder() const { return folder_; }
    TDataModule1 &Module() { return *dm_; }
    // Writes bytes as a file of the data folder (folder/ivx); returns its path.
    std::string WriteDataFile(const std::string &name, const std::uint8_t *data, std::size_t size) const;

private:
    TFuzzScratch();
    std::string folder_;
    std::unique_ptr<TDataModule1> dm_;
};

} // namespace invexa
