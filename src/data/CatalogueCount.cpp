// The catalogue's count. The user names are split into ranges; as many threads as the machine has cores
// (at most MaxThreads) each take the next range not yet counted and read it through a connection of their own,
// in short transactions of whole users, into a tally of their own. A user lies in one range only, so the
// tallies add up to the count of the whole table.
#include "data/Catalogue.h"
#include "data/CatalogueTally.h"
#include "data/ResultsDatabase.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace invexa {
namespace {

// User names after After, up to and including Last (to the end without it).
struct TRange {
    std::string After;
    std::optional<std::string> Last;
};

// Splits the user names into about count ranges of as many rows each, from the names of rows spread evenly over
// the rowids: cheap (one look-up a sample), and when the rows lie unevenly, a thread just takes fewer ranges.
std::vector<TRange> Ranges(SQLite::Database &db, std::size_t count) {
    constexpr std::int64_t Samples = 256;
    const std::int64_t last = db.execAndGet("SELECT COALESCE(MAX(rowid), 0) FROM Results").getInt64();
    SQLite::Statement at(db, "SELECT UserName FROM Results WHERE rowid >= ? ORDER BY rowid LIMIT 1");
    std::vector<std::string> names;
    for (std::int64_t i = 1; i < Samples && last > 0; ++i) {
        at.bind(1, last / Samples * i + last % Samples * i / Samples);
        if (at.executeStep() && !at.getColumn(0).isNull() && at.getColumn(0).getBytes() > 0)
            names.push_back(at.getColumn(0).getString());
        at.reset();
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<TRange> ranges(1);
    for (std::size_t k = 1; k < count && !names.empty(); ++k) {
        const std::string &bound = names[k * names.size() / count];
        if (bound > ranges.back().After) {
            ranges.back().Last = bound;
            ranges.push_back({bound, std::nullopt});
        }
    }
    return ranges;
}

using TStatementPtr = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// SQLite's own calls for the rows read, without the wrapper's per-column objects: this loop runs once a row.
TStatementPtr Prepare(SQLite::Database &db, const char *sql) {
    sqlite3_stmt *st = nullptr;
    const int rc = sqlite3_prepare_v2(db.getHandle(), sql, -1, &st, nullptr);
    TStatementPtr owned(st, &sqlite3_finalize);
    if (rc != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), rc);
    return owned;
}

std::string_view TextAt(sqlite3_stmt *st, int col) {
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
    return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(st, col))) : std::string_view();
}

// Counts ranges of users into one tally, through one connection.
class TRangeCounter {
public:
    TRangeCounter(SQLite::Database &db, TCatalogueTally &tally, const std::atomic<bool> &stop,
                  const std::atomic<bool> *cancel)
        : db_(db), tally_(tally), stop_(stop), cancel_(cancel),
          bounded_(Prepare(db, "SELECT UserName, AppMaker, AppName, Version FROM Results "
                               "WHERE UserName > ?1 AND UserName <= ?2 ORDER BY UserName")),
          open_(Prepare(db, "SELECT UserName, AppMaker, AppName, Version FROM Results "
                            "WHERE UserName > ?1 ORDER BY UserName")) {}

    bool Stopped() const { return stop_ || (cancel_ && *cancel_); }

    // Stops early when Stopped().
    void Count(const TRange &range) {
        sqlite3_stmt *st = range.Last ? bounded_.get() : open_.get();
        if (range.Last)
            sqlite3_bind_text(st, 2, range.Last->data(), static_cast<int>(range.Last->size()), SQLITE_STATIC);
        std::string after = range.After;
        for (bool more = true; more;) {
            sqlite3_reset(st);
            sqlite3_bind_text(st, 1, after.data(), static_cast<int>(after.size()), SQLITE_TRANSIENT);
            more = Chunk(st, after);
            sqlite3_reset(st); // ends the read transaction
        }
    }

private:
    // One transaction: whole users from after on, ending at the first user boundary after ChunkRows rows or
    // ChunkMs; after becomes the last user read. True when more users follow.
    bool Chunk(sqlite3_stmt *st, std::string &after) {
        const auto start = std::chrono::steady_clock::now();
        int rows = 0;
        bool started = false;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const std::string_view name = TextAt(st, 0);
            if (!started || name != std::string_view(after)) {
                if (started && (rows >= TCatalogue::ChunkRows || std::chrono::steady_clock::now() - start >=
                                                                     std::chrono::milliseconds(TCatalogue::ChunkMs)))
                    return true;
                if (Stopped())
                    return false;
                after.assign(name);
                started = true;
                ++user_;
            }
            tally_.Add(user_, TextAt(st, 1), TextAt(st, 2), TextAt(st, 3));
            ++rows;
        }
        if (rc != SQLITE_DONE)
            throw SQLite::Exception(db_.getHandle(), rc);
        return false;
    }

    SQLite::Database &db_;
    TCatalogueTally &tally_;
    const std::atomic<bool> &stop_;
    const std::atomic<bool> *cancel_;
    TStatementPtr bounded_, open_;
    std::uint64_t user_ = 0;
};

// A missing user name and an empty one are the same user; such rows are few (typed into the grid).
void CountBlankUser(SQLite::Database &db, TCatalogueTally &tally) {
    SQLite::Statement blank(db, "SELECT AppMaker, AppName, Version FROM Results "
                                "WHERE UserName IS NULL OR UserName = ''");
    auto text = [&](int col) { return std::string_view(blank.getColumn(col).getText(), blank.getColumn(col).size()); };
    while (blank.executeStep())
        tally.Add(1, text(0), text(1), text(2));
}

} // namespace

TCatalogue::TCounts TCatalogue::Count(TResultsDatabase &database, const std::atomic<bool> *cancel) {
    const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, MaxThreads);
    const std::vector<TRange> ranges = Ranges(database.Connection(), threads * RangesPerThread);
    std::vector<TCatalogueTally> tallies(threads + 1);
    CountBlankUser(database.Connection(), tallies.back());

    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto work = [&](TCatalogueTally &tally) {
        try {
            std::unique_ptr<SQLite::Database> db = database.OpenReader();
            TRangeCounter counter(*db, tally, stop, cancel);
            for (std::size_t r; !counter.Stopped() && (r = next++) < ranges.size();)
                counter.Count(ranges[r]);
        } catch (...) {
            std::lock_guard lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
            stop = true;
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work, std::ref(tallies[t]));
    work(tallies[0]);
    for (std::thread &helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
    if (cancel && *cancel)
        return {};
    for (std::size_t t = 1; t < tallies.size(); ++t)
        tallies[0].AddUp(tallies[t]);
    return tallies[0].Take();
}

} // namespace invexa
