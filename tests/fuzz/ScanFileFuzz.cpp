// Arbitrary bytes as a scan data file: the reader must agree with a decoder written from the byte layout alone,
// and a merge of that one file must either replace its user's rows with exactly those records or, for a
// malformed file, leave the file and every row as they were.
#include "FuzzCheck.h"

#include "base/InvexaError.h"
#include "data/DataFileMerge.h"
#include "data/RsltsLst.h"
#include "data/results.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace invexa;

namespace {

constexpr const char *UserFile = "fuzzuser.ivx";
constexpr const char *User = "fuzzuser";

// One working folder with a results table for the whole run, under $TMPDIR and removed at exit: creating a
// table per input would cost far more than the merge it serves.
struct TScratch {
    std::string folder;
    std::unique_ptr<TDataModule1> dm;
    TScratch() {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/invexa-fuzz-XXXXXX";
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        folder = pattern;
        std::filesystem::create_directory(folder + "/ivx");
        FUZZ_CHECK(TResultsDatabase::Create(folder));
        dm = std::make_unique<TDataModule1>(folder);
        // Durability is not under test here, and a synced commit per input would make each run a hundred times
        // slower.
        dm->database.Connection().exec("PRAGMA synchronous=OFF");
    }
    ~TScratch() {
        dm.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

std::string WriteDataFile(const std::string &folder, const std::uint8_t *data, std::size_t size) {
    std::string path = folder + "/ivx/" + UserFile;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(std::filesystem::file_size(path) == size);
    return path;
}

// The layout, decoded the plain way: texts are a little-endian signed 32-bit length and that many bytes; a
// length item cut short by the end of the file is an empty text; a text keeps its bytes up to the first zero;
// the flag after Version is one signed byte, 0 when the file ends before it.
struct TReference {
    std::vector<TResultsRec> records;
    std::optional<std::string> error;
};

TReference Decode(const std::uint8_t *data, std::size_t size, const std::string &path) {
    TReference ref;
    std::size_t pos = 0;
    auto text = [&](std::string &out) -> bool {
        std::size_t at = pos;
        if (size - pos < 4) {
            pos = size;
            out.clear();
            return true;
        }
        std::int64_t n =
            static_cast<std::int32_t>(std::uint32_t(data[pos]) | std::uint32_t(data[pos + 1]) << 8 |
                                      std::uint32_t(data[pos + 2]) << 16 | std::uint32_t(data[pos + 3]) << 24);
        pos += 4;
        if (n < 0 || n > 201) {
            ref.error = "Invalid scan data file " + path + ": text length " + std::to_string(n) + " at offset " +
                        std::to_string(at);
            return false;
        }
        std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(n), size - pos);
        out.assign(reinterpret_cast<const char *>(data + pos), take);
        out.resize(std::strlen(out.c_str()));
        pos += take;
        return true;
    };
    while (pos < size) {
        TResultsRec rec;
        if (!text(rec.AppMaker) || !text(rec.AppName) || !text(rec.Version))
            return ref;
        rec.Verification = pos < size ? static_cast<std::int8_t>(data[pos++]) : 0;
        if (!text(rec.AppPath))
            return ref;
        ref.records.push_back(std::move(rec));
    }
    return ref;
}

bool SameRecord(const TResultsRec &a, const TResultsRec &b) {
    return a.AppMaker == b.AppMaker && a.AppName == b.AppName && a.Version == b.Version &&
           a.Verification == b.Verification && a.AppPath == b.AppPath;
}

void CheckReader(const std::string &path, std::size_t size, const TReference &ref) {
    TResultsFile file(path);
    FUZZ_CHECK(file.Size() == static_cast<std::int64_t>(size));
    std::size_t n = 0;
    std::optional<std::string> error;
    while (file.Position() < file.Size()) {
        std::int64_t before = file.Position();
        TResultsRec rec;
        try {
            std::int64_t used = file.ReadRec(rec);
            FUZZ_CHECK(used > 0 && used == file.Position() - before);
        } catch (const EInvexaError &e) {
            error = e.what();
            break;
        }
        FUZZ_CHECK(n < ref.records.size() && SameRecord(rec, ref.records[n]));
        ++n;
    }
    FUZZ_CHECK(file.Position() <= file.Size());
    FUZZ_CHECK(error == ref.error);
    FUZZ_CHECK(n == ref.records.size());
}

std::vector<TResultRow> TableRows(TResultsTable &table) {
    std::vector<TResultRow> rows;
    for (table.First(); !table.Eof(); table.Next())
        rows.push_back(table.Current());
    return rows;
}

void CheckMerge(TScratch &scratch, const std::string &path, const TReference &ref) {
    TDataModule1 &dm = *scratch.dm;
    TResultsTable &table = dm.resultsTbl;
    // An earlier scan of the same user, which the merge must replace, and another user it must not touch. One
    // transaction for the reset keeps the run fast; the table stays open between runs, as the merge leaves it.
    table.Open();
    TResultRow stale{0, User, "stale", "", "", "", 1}, other{0, "other", "kept", "", "", "", 2};
    {
        SQLite::Transaction tx(dm.database.Connection());
        dm.database.Connection().exec("DELETE FROM Results");
        table.InsertRow(other);
        table.InsertRow(stale);
        tx.commit();
    }

    TMergeSummary summary = TDataFileMerge(dm, scratch.folder).Run();
    std::vector<TResultRow> rows = TableRows(table);
    if (ref.error) {
        FUZZ_CHECK(summary.Merged.empty());
        FUZZ_CHECK(summary.Errors == std::vector<std::string>{*ref.error});
        FUZZ_CHECK(std::filesystem::exists(path));
        FUZZ_CHECK(rows.size() == 2 && rows[0] == other && rows[1] == stale);
    } else {
        FUZZ_CHECK(summary.Errors.empty());
        FUZZ_CHECK(summary.Merged.size() == 1 && summary.Merged[0].UserName == User);
        FUZZ_CHECK(summary.Merged[0].Records == static_cast<std::int64_t>(ref.records.size()));
        FUZZ_CHECK(!std::filesystem::exists(path));
        FUZZ_CHECK(rows.size() == ref.records.size() + 1 && rows[0] == other);
        for (std::size_t i = 0; i < ref.records.size(); ++i) {
            const TResultsRec &rec = ref.records[i];
            const TResultRow &row = rows[i + 1];
            FUZZ_CHECK(row.UserName == User);
            FUZZ_CHECK(row.AppMaker == rec.AppMaker.substr(0, 32) && row.AppName == rec.AppName.substr(0, 32));
            FUZZ_CHECK(row.Version == rec.Version.substr(0, 6) && row.AppPath == rec.AppPath.substr(0, 255));
            FUZZ_CHECK(row.Verification == std::optional<std::int16_t>(rec.Verification));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static TScratch scratch;
    std::string path = WriteDataFile(scratch.folder, data, size);
    TReference ref = Decode(data, size, path);
    CheckReader(path, size, ref);
    CheckMerge(scratch, path, ref);
    std::filesystem::remove(path);
    return 0;
}
