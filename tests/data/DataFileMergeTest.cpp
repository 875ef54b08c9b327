#include "support/ChildProcess.h"
#include "support/PgTestStore.h"
#include "support/ResultsFixture.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace invexa;
using namespace invexa::test;
namespace fs = std::filesystem;

namespace {

// Each file replaces its user's rows, in case-insensitive name order with ties by bytes; the user is the file's
// name as stored (8-bit, cut to 16); folders and files beside ivx/ are not data files.
TEST(DataFileMerge, ReplacesEachUsersRowsInNameOrderAndDeletesTheFiles) {
    TWorkFolder f;
    const std::string longName = "abcdefghijklmnopqrstuvwxyz";
    f.InsertOld({"alicia", "a", "", "gone", longName, "x", "carol"}, 2);
    const std::vector<std::string> order = {".ivx",       "_x.ivx", "A.ivx", "a.ivx",    longName + ".ivx",
                                            "b.ivx",      "B0.iVx", "C.IVX", "gone.ivx", "Jos\xC3\xA9.ivx",
                                            "Ren\xE9.ivx"};
    for (const std::string &name : order)
        if (name != "gone.ivx" && name != longName + ".ivx")
            f.Scan(name, {Rec("m", name, "1", 2, "p")});
    f.Scan("gone.ivx", {}); // an empty file removes its user's rows
    std::string cut = ScanFileWriter::Encode({Rec("m", "a1", "1", 1, "p"), Rec("Maker", "Cut", "9", 1, "C:\\x")});
    ScanFileWriter::WriteBytes(f.Ivx() + "/" + longName + ".ivx", cut.substr(0, cut.size() - 5));
    fs::create_directory(f.Ivx() + "/x.ivx");
    f.dir.Write("dave.ivx", ScanFileWriter::Encode({Rec("m", "a", "1", 1, "p")}));
    f.Restart(); // the pass opens the table itself
    TSteps progress;
    TMergeSummary s = f.Merge(&progress);
    EXPECT_EQ(s.DataFolder, f.Ivx());
    EXPECT_EQ(s.Errors, std::vector<std::string>{});
    std::vector<std::string> calls = order;
    calls.insert(calls.begin(), "Merging data files...");
    calls.push_back("finish");
    EXPECT_EQ(progress.calls, calls);
    ASSERT_EQ(s.Merged.size(), order.size());
    EXPECT_EQ(s.Merged[4].UserName, "abcdefghijklmnop");
    EXPECT_EQ(s.Records(), 11); // one record in nine files, none in gone.ivx, two in the cut-short one
    std::vector<std::string> expected = OldLines("alicia", 2), x = OldLines("x", 2), carol = OldLines("carol", 2);
    expected.insert(expected.end(), x.begin(), x.end());
    expected.insert(expected.end(), carol.begin(), carol.end());
    for (const std::string &name : order) {
        std::string user = name.substr(0, name.size() - 4);
        if (name == "Jos\xC3\xA9.ivx")
            user = "Jos\xE9";
        if (name == longName + ".ivx")
            expected.insert(expected.end(), {"abcdefghijklmnop|m|a1|1|1|p", "abcdefghijklmnop|Maker|Cut|9|1|"});
        else if (name != "gone.ivx")
            expected.push_back(user + "|m|" + name + "|1|2|p");
    }
    EXPECT_EQ(f.Lines(), expected);
    EXPECT_EQ(f.Waiting(), std::vector<std::string>{"x.ivx"});
    EXPECT_TRUE(f.dir.Exists("dave.ivx"));
    EXPECT_TRUE(f.Table().Active());

    fs::remove(f.Ivx() + "/x.ivx"); // without an ivx folder, the working folder is searched
    fs::remove(f.Ivx());
    EXPECT_EQ(f.Merge().DataFolder, f.dir.Path());
    EXPECT_EQ(f.Lines().back(), "dave|m|a|1|1|p");
    EXPECT_FALSE(f.dir.Exists("dave.ivx"));
}

// A file its scanner holds locked, or whose user name Windows-1252 cannot hold, waits with its user's rows
// untouched, named in the errors; odd names merge, and names that share a stored name are named in a warning; a
// file the scanner has let go merges next time. (Bad lengths: the scan-file corpus; a FIFO: tests/cli.)
TEST(DataFileMerge, RefusedFilesWaitWithTheirUsersRowsAndTheOthersMerge) {
    TWorkFolder f;
    f.InsertOld({"busy", "long", "??", "?ukasz"}, 2);
    // Malformed after more than one buffer of good records, some of them written before the fault is met.
    const std::string good = ScanFileWriter::Encode(ScanFileWriter::SampleRecords(3, 20000));
    ASSERT_GT(good.size(), static_cast<std::size_t>(TResultsFile::MaxBuffer));
    ScanFileWriter::WriteBytes(f.Ivx() + "/long.ivx", good + std::string("\x2c\x01\0\0", 4) + std::string(300, 'z'));
    const auto scan = ScanFileWriter::SampleRecords(1, 2);
    const std::string busy = f.Scan("busy.ivx", {scan[0]}); // a scanner still writing, holding its lock
    int fd = ::open(busy.c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    // Lukasz and Nukasz with a stroke and an acute, Chinese and Japanese: all would be '?ukasz' or '??'.
    const std::vector<std::string> foreign = {"\xC5\x81ukasz.ivx", "\xC5\x83ukasz.ivx", "\xE4\xB8\xAD\xE6\x96\x87.ivx",
                                              "\xE6\x97\xA5\xE6\x9C\xAC.ivx"};
    for (const std::string &name : foreign)
        f.Scan(name, {scan[0]});
    const std::vector<std::string> users = {"John Smith",          "O'Brien \"Bob\"",    "semi;colon,comma",
                                            std::string(251, 'n'), "workstation-0001-a", "workstation-0001-b"};
    for (std::size_t i = 0; i < users.size(); ++i)
        f.Scan(users[i] + ".ivx", ScanFileWriter::SampleRecords(int(i), 2));
    std::vector<std::string> errors = {"Cannot open file " + busy, "Invalid scan data file " + f.Ivx() +
                                                                       "/long.ivx: text length 300 at offset " +
                                                                       std::to_string(good.size())};
    for (const std::string &name : foreign)
        errors.push_back("Cannot merge " + f.Ivx() + "/" + name +
                         ": the user name has characters the scanners' Windows-1252 text cannot hold");
    TMergeSummary s = f.Merge();
    EXPECT_EQ(s.Errors, errors);
    EXPECT_EQ(s.Warnings, std::vector<std::string>{"Scan data files workstation-0001-a.ivx, workstation-0001-b.ivx "
                                                   "share the stored user name 'workstation-0001': each replaced the "
                                                   "rows of the one before, and only those of workstation-0001-b.ivx "
                                                   "are kept"});
    std::vector<std::string> waiting = {"busy.ivx", "long.ivx"};
    waiting.insert(waiting.end(), foreign.begin(), foreign.end());
    EXPECT_EQ(f.Waiting(), waiting);
    auto rows = f.ByUser();
    for (const char *u : {"busy", "long", "??", "?ukasz"})
        EXPECT_EQ(rows[u], OldLines(u, 2)) << u;
    EXPECT_EQ(s.Merged.size(), users.size());
    std::map<std::string, std::vector<std::string>> fresh; // a later file of a stored name replaces the earlier
    for (std::size_t i = 0; i < users.size(); ++i)
        fresh[CutToWidth(users[i], 16)] = NewLines(CutToWidth(users[i], 16), ScanFileWriter::SampleRecords(int(i), 2));
    for (const auto &[user, lines] : fresh)
        EXPECT_EQ(rows[user], lines) << user;

    const std::string rest = ScanFileWriter::Encode({scan[1]});
    ASSERT_EQ(::write(fd, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
    ::close(fd); // the scanner is done
    errors.erase(errors.begin());
    s = f.Merge();
    EXPECT_EQ(s.Errors, errors);
    EXPECT_EQ(s.Warnings, std::vector<std::string>{});
    EXPECT_EQ(f.ByUser()["busy"], NewLines("busy", scan));
    EXPECT_FALSE(f.Waiting("busy.ivx"));
}

// Whatever the table holds and whichever files wait, fail, or share a user, a pass leaves exactly the rows, in
// exactly the order, that removing each merged file's user's rows and appending its records leaves: the model
// kept here. Random scenarios from a fixed seed, several passes each on one table, so that later passes meet the
// free bookmarks, rewritten rows and rows typed into the grid that earlier ones left. Half the scenarios re-scan
// nearly every user each pass, as a site does, so that passes write over the old rows in place.
TEST(DataFileMerge, EveryPassLeavesTheRowsInTheOrderOfRemovingAndAppending) {
    std::mt19937 rng(20261207);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int inPlace = 0, appended = 0;
    for (int scenario = 0; scenario < 80; ++scenario) {
        SCOPED_TRACE("scenario " + std::to_string(scenario));
        TWorkFolder f;
        const bool everyone = scenario % 2 == 0;
        // Two names that are one user once cut to 16 characters, then users in merge order.
        std::vector<std::string> names = {"abcdefghijklmnopX.ivx", "abcdefghijklmnopY.ivx"};
        for (int u = 0, users = 2 + pick(8); u < users; ++u)
            names.push_back("u" + std::to_string(u) + ".ivx");
        std::vector<std::string> model;
        for (int pass = 0; pass < 5; ++pass) {
            SCOPED_TRACE("pass " + std::to_string(pass));
            if (pick(5) == 0) { // a row typed into the grid, stored at the end
                TResultRow typed = Row(pick(2) ? "u1" : "stranger", "typed", "in", "1", 1, "");
                f.Insert({typed});
                model.push_back(Line(typed));
            }
            std::vector<int> held;
            std::size_t failing = 0;
            std::vector<std::pair<std::string, std::vector<std::string>>> merged; // user, new lines
            for (std::size_t k = 0; k < names.size(); ++k) {
                const int kind = pick(20);
                if (k < 2 ? kind < 14 : kind < (everyone ? 1 : 5))
                    continue; // no file this time
                const std::string user = CutToWidth(names[k].substr(0, names[k].size() - 4), 16);
                // Mostly about as many records as last time; now and then far fewer or far more.
                const auto records =
                    ScanFileWriter::SampleRecords(pass * 31 + int(k), pick(6) ? 6 + pick(3) : pick(40));
                if (kind == 19) { // a malformed file: its first records are read before the bad length
                    ScanFileWriter::WriteBytes(f.Ivx() + "/" + names[k], ScanFileWriter::Encode(records) +
                                                                             std::string("\x2c\x01\0\0", 4) +
                                                                             std::string(300, 'z'));
                    ++failing;
                    continue;
                }
                const std::string path = f.Scan(names[k], records);
                if (kind == 18) { // a scanner still writing it
                    held.push_back(::open(path.c_str(), O_RDONLY));
                    ASSERT_EQ(::flock(held.back(), LOCK_EX), 0);
                    ++failing;
                    continue;
                }
                merged.emplace_back(user, NewLines(user, records));
            }
            const std::int64_t lastBefore = std::stoll(f.Sql("SELECT coalesce(max(rowid), 0) FROM Results")[0][0]);
            f.Restart();
            TMergeSummary s = f.Merge();
            for (int fd : held)
                ::close(fd);
            EXPECT_EQ(s.Errors.size(), failing);
            for (const auto &[user, lines] : merged) {
                std::erase_if(model, [&](const std::string &line) { return line.rfind(user + "|", 0) == 0; });
                model.insert(model.end(), lines.begin(), lines.end());
            }
            ASSERT_EQ(f.Lines(), model);
            for (const std::string &name : f.Waiting())
                fs::remove(f.Ivx() + "/" + name);
            // Rows merged under bookmarks the table had before were written over old ones.
            if (!merged.empty() && !merged.back().second.empty()) {
                (std::stoll(f.Sql("SELECT max(rowid) FROM Results")[0][0]) <= lastBefore ? inPlace : appended) +=
                    lastBefore > 0;
            }
        }
    }
    EXPECT_GE(inPlace, 20) << "too few passes wrote over the old rows";
    EXPECT_GE(appended, 20) << "too few passes appended";
}

// A bookmark stored by hand just below the largest there is: the rows still follow it, in order.
TEST(DataFileMerge, RowsFollowABookmarkStoredByHandNearTheLimit) {
    TWorkFolder f;
    SQLite::Database(f.DbPath(), SQLite::OPEN_READWRITE)
        .exec("INSERT INTO Results (rowid, UserName, AppMaker, AppName, Version, AppPath, Verification) VALUES "
              "(9223372036854775797, 'hand', 'Old', 'app0', '0', '', 0)");
    const auto records = ScanFileWriter::SampleRecords(1, 3);
    f.Scan("u1.ivx", records);
    f.Restart();
    EXPECT_EQ(f.Merge().Errors, std::vector<std::string>{});
    std::vector<std::string> expected = OldLines("hand", 1), fresh = NewLines("u1", records);
    expected.insert(expected.end(), fresh.begin(), fresh.end());
    EXPECT_EQ(f.Lines(), expected);
}

// A merge killed at any instant loses and duplicates nothing, and the next merge finishes the job. More files
// than one commit takes, so the pass commits at least twice.
TEST(DataFileMergeCrash, KilledMergeLosesNothingAndTheNextMergeFinishesTheJob) {
    if (ToolPath().empty())
        GTEST_SKIP() << "INVEXA_TOOL does not name the built invexa tool";
    const int users = TDataFileMerge::BatchFiles + TDataFileMerge::BatchFiles / 4;
    // Rows appended after the old ones are removed; rows written over the old ones in place, until a user with
    // more records than before, in the second commit, sends its rows and the ones before to the end.
    const TCrowd crowds[] = {{users, 3, 20}, {users, 20, 20, TDataFileMerge::BatchFiles + 100}};
    for (const TCrowd &crowd : crowds) {
        TWorkFolder whole(PgTestStore()); // never killed: every file across the commits
        crowd.Prepare(whole);
        EXPECT_EQ(crowd.CheckAndFinish(whole), 0);
    }
    int killedMidway = 0;
    for (int point = 0; point < 8; ++point) {
        SCOPED_TRACE("kill point " + std::to_string(point));
        const TCrowd &crowd = crowds[point % 2];
        TWorkFolder f(PgTestStore());
        crowd.Prepare(f);
        auto waiting = [&] { return static_cast<int>(std::distance(fs::directory_iterator(f.Ivx()), {})); };
        // Rows written and not yet committed: SQLite's rollback journal, or on the server a transaction holding the
        // lock that writing this table takes.
        std::optional<TPgConnection> server;
        auto journal = [&] {
            return f.store.empty() ? fs::exists(f.DbPath() + "-journal")
                                   : (server ? *server : server.emplace(f.store))
                                             .Exec("SELECT 1 FROM pg_locks WHERE relation = 'results'::regclass AND "
                                                   "mode = 'RowExclusiveLock' AND pid <> pg_backend_pid()")
                                             .Rows() > 0;
        };
        // While the first batch is written, once its files go, while a later batch is written.
        const std::function<bool()> killAt[] = {
            journal, [&] { return waiting() < crowd.users; }, [&] { return waiting() < crowd.users && journal(); },
            [&] { return waiting() < crowd.users - TDataFileMerge::BatchFiles / 2; }};
        const std::function<bool()> &kill = killAt[point / 2];
        pid_t child = Start(ToolPath(), {"-C", f.dir.Path(), "merge"});
        int status = 0;
        bool ended = false;
        EXPECT_TRUE(WaitUntil([&] { return kill() || (ended = ::waitpid(child, &status, WNOHANG) == child); }))
            << "the merge neither ended nor reached the kill point in time";
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            killedMidway += WIFSIGNALED(status) && waiting() > 0;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        crowd.CheckAndFinish(f);
    }
    EXPECT_GE(killedMidway, 1) << "no kill landed inside a merge";
}

// Two administrators started at once in one folder: each merge takes a file or leaves it (the other holds it, or
// the table), no row is lost or doubled, and the next start merges what is left. On a server they may also merge
// two folders into one database, each with a scan file of every user: then each user has the rows of one scan,
// the one committed last, whose scan time the table keeps.
TEST(TwoAdministrators, MergingAtOnceLosesAndDoublesNothing) {
    if (ToolPath().empty())
        GTEST_SKIP() << "INVEXA_TOOL does not name the built invexa tool";
    // The second folder's scans: one record more, older, and of 50 users more.
    const TCrowd crowd{400, 2, 5}, second{450, 0, 6};
    const std::chrono::seconds secondScanned(1700000000);
    for (int round = 0; round < (PgTestStore().empty() ? 3 : 5); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const bool twoFolders = round >= 3;
        TWorkFolder folders[] = {TWorkFolder(PgTestStore()), TWorkFolder(PgTestStore())}, &f = folders[0];
        crowd.Prepare(f);
        // Two folders: the test holds the table until both merges wait to write to it, so that their batches meet.
        std::optional<TPgConnection> holder;
        if (twoFolders) {
            second.Prepare(folders[1]);
            for (const auto &e : fs::directory_iterator(folders[1].Ivx()))
                fs::last_write_time(e, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(secondScanned)));
            holder.emplace(f.store);
            holder->Exec("BEGIN");
            holder->Exec("LOCK TABLE Results IN SHARE MODE");
        }
        pid_t admin[2];
        for (int k = 0; k < 2; ++k)
            admin[k] = Start(ToolPath(), {"-C", folders[twoFolders * k].dir.Path(), "merge"}, "/dev/null",
                             f.dir.File("err" + std::to_string(k)));
        if (holder) {
            EXPECT_TRUE(
                WaitUntil([&] { return holder->Exec("SELECT 1 FROM pg_locks WHERE NOT granted").Rows() >= 2; }));
            holder->Exec("COMMIT");
        }
        int status[2] = {0, 0};
        for (int k = 0; k < 2; ++k)
            ASSERT_TRUE(WaitFor(admin[k], status[k], std::chrono::seconds(60))) << "administrator " << k << " hung";
        // A file one says it left in place is there once both have ended: the other did not merge it meanwhile.
        // Only SQLite's table is ever locked by the other; the server lets the second batch wait.
        for (int k = 0; k < 2; ++k) {
            std::ifstream err(f.dir.File("err" + std::to_string(k)));
            int lines = 0;
            for (std::string line; std::getline(err, line); ++lines)
                EXPECT_TRUE((line.rfind("Cannot open file " + f.Ivx() + "/", 0) == 0 && fs::exists(line.substr(17))) ||
                            (f.store.empty() && line == "The results table " + f.DbPath() +
                                                            " is locked by another program; try again when it has "
                                                            "finished") ||
                            line.find("scan data file(s) left in place") != std::string::npos)
                    << line;
            EXPECT_TRUE(WIFEXITED(status[k]) && WEXITSTATUS(status[k]) == (lines ? 1 : 0)) << status[k];
        }
        if (!twoFolders) {
            crowd.CheckAndFinish(f, false); // the two commit in turn, so their users' rows interleave
            continue;
        }
        for (const TWorkFolder &w : folders)
            EXPECT_EQ(w.Waiting(), std::vector<std::string>{});
        f.Restart();
        std::map<std::string, std::optional<std::int64_t>> scanned;
        for (const TComputerLine &c : f.dm->Store().Computers())
            scanned[c.UserName] = c.LastScan;
        auto rows = f.ByUser();
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(second.users + 1));
        EXPECT_EQ(rows["bystander"], OldLines("bystander", crowd.oldRows));
        for (int i = 0; i < second.users; ++i)
            EXPECT_EQ(rows[TCrowd::User(i)],
                      scanned[TCrowd::User(i)] == secondScanned.count() ? second.Fresh(i) : crowd.Fresh(i))
                << TCrowd::User(i);
    }
}

// Between two commits of a merge that writes over the old rows in place, the other administrator's grid gives a
// row of a user still to come to someone else: the merge goes on by removing and appending, keeps that row, and
// replaces the rest.
TEST(TwoAdministrators, RowGivenToAnotherUserBetweenTwoCommitsIsKept) {
    const TCrowd crowd{40, 3, 3};
    TWorkFolder f;
    crowd.Prepare(f);
    TChildResult child = RunInChild([&] {
        rlimit lim{80, 80}; // 16 files to a commit
        ::setrlimit(RLIMIT_NOFILE, &lim);
        TSteps other;
        other.onStep = [&](const std::string &name) {
            if (name == TCrowd::User(16) + ".ivx") // the first file after the first commit
                SQLite::Database(f.DbPath(), SQLite::OPEN_READWRITE)
                    .exec("UPDATE Results SET UserName = 'intruder' WHERE rowid = (SELECT min(rowid) FROM Results "
                          "WHERE UserName = '" +
                          TCrowd::User(30) + "')");
        };
        TDataModule1 dm(f.dir.Path());
        TMergeSummary s = TDataFileMerge(dm, f.dir.Path(), &other).Run();
        return std::to_string(s.Merged.size()) + " merged, " + std::to_string(s.Errors.size()) + " errors";
    });
    ASSERT_TRUE(child.ExitedCleanly()) << child.Status << child.Text;
    EXPECT_EQ(child.Text, "40 merged, 0 errors");
    f.Restart();
    auto rows = f.ByUser();
    EXPECT_EQ(rows["intruder"], std::vector<std::string>{"intruder|Old|app0|0|0|"});
    EXPECT_EQ(rows["bystander"], OldLines("bystander", 3));
    for (int i = 0; i < crowd.users; ++i)
        EXPECT_EQ(rows[TCrowd::User(i)], crowd.Fresh(i)) << TCrowd::User(i);
}

TEST(TwoAdministrators, FileMergedByTheOtherSinceTheListingIsNoError) {
    TWorkFolder f(PgTestStore());
    f.InsertOld({"u1"}, 1);
    f.Scan("u1.ivx", ScanFileWriter::SampleRecords(1, 2));
    TSteps other; // removes each file just as the merge reaches it, as the other administrator would have
    other.onStep = [&](const std::string &name) { fs::remove(f.Ivx() + "/" + name); };
    TMergeSummary s = f.Merge(&other);
    EXPECT_EQ(s.Errors, std::vector<std::string>{});
    EXPECT_TRUE(s.Merged.empty());
    EXPECT_EQ(f.ByUser()["u1"], OldLines("u1", 1));
}

// What happens to a merged file between its read and its deletion decides the deletion: only a file that is
// still exactly what was read, and that nobody holds open for writing (the test owns the files, so the lease
// can be had), is deleted; the others stay, are named, and their new content is merged next time.
TEST(DataFileMerge, FileChangedOrOpenAfterItsReadIsLeftForTheNextMerge) {
    TWorkFolder f;
    std::vector<int> held;
    const std::string rewritten = ScanFileWriter::Encode(ScanFileWriter::SampleRecords(7, 2));
    const struct {
        const char *Name;
        std::function<void(const std::string &)> Change;
        const char *Left; // the end of its message; empty: deleted
    } cases[] = {
        {"nothing.ivx", [](const std::string &) {}, ""},
        {"replaced.ivx",
         [&](const std::string &path) {
             ScanFileWriter::WriteBytes(path + ".new", rewritten);
             fs::rename(path + ".new", path);
         },
         " changed after it was read; it is merged again next time"},
        {"rewritten.ivx",
         [&](const std::string &path) { // truncated and written again, the same size, as a scanner does
             ASSERT_EQ(::truncate(path.c_str(), 0), 0);
             ScanFileWriter::WriteBytes(path, rewritten);
         },
         " changed after it was read; it is merged again next time"},
        {"truncated.ivx", [](const std::string &path) { ASSERT_EQ(::truncate(path.c_str(), 0), 0); },
         " changed after it was read; it is merged again next time"},
        {"written.ivx", [&](const std::string &path) { held.push_back(::open(path.c_str(), O_WRONLY)); },
         " is open for writing in another program; it is merged again next time"},
    };
    std::map<std::string, std::function<void(const std::string &)>> change;
    std::vector<std::string> errors, waiting;
    for (const auto &c : cases) {
        const std::string path = f.Scan(c.Name, ScanFileWriter::SampleRecords(1, 2));
        // Written long ago, so that a rewrite changes the modification time whatever the clock's grain.
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        change[path] = c.Change;
        if (*c.Left) {
            errors.push_back("Not deleted: " + path + c.Left);
            waiting.push_back(c.Name);
        }
    }
    std::sort(waiting.begin(), waiting.end());
    TDataFileMerge merge(*f.dm, f.dir.Path());
    merge.BeforeDelete = [&](const std::string &path) { change.at(path)(path); };
    TMergeSummary s = merge.Run();
    EXPECT_EQ(s.Merged.size(), std::size(cases));
    EXPECT_EQ(s.Errors, errors);
    EXPECT_EQ(s.Deleted, 1);
    EXPECT_EQ(f.Waiting(), waiting);
    for (int fd : held)
        ::close(fd);
    EXPECT_EQ(f.Merge().Errors, std::vector<std::string>{});
    auto rows = f.ByUser();
    EXPECT_EQ(rows["rewritten"], NewLines("rewritten", ScanFileWriter::SampleRecords(7, 2)));
    EXPECT_EQ(rows["truncated"], std::vector<std::string>{});
    EXPECT_EQ(rows["written"], NewLines("written", ScanFileWriter::SampleRecords(1, 2)));
    EXPECT_EQ(f.Waiting(), std::vector<std::string>{});
}

// Out of descriptors while the batch holds its files open: the batch is committed to let them go and the pass
// goes on. With none to be had at all, one message says so and how many files wait, instead of one per file.
TEST(DataFileMerge, RunningOutOfDescriptorsIsReportedOnceNotAsEveryFileFailing) {
    const TCrowd crowd{40, 1, 2};
    TWorkFolder f, g;
    crowd.Prepare(f);
    TCrowd{3, 1, 2}.Prepare(g);
    TChildResult child = RunInChild([&] {
        rlimit lim{80, 80}; // 16 files to a commit
        ::setrlimit(RLIMIT_NOFILE, &lim);
        std::string text;
        for (TWorkFolder *w : {&f, &g}) {
            TDataModule1 dm(w->dir.Path());
            dm.resultsTbl.Open();
            std::vector<int> taken;
            for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;)
                taken.push_back(fd);
            // A few left for the scan files and the journal, or too few for any: the two the folder's hold and
            // listing take, and two more (the sanitizers' run-time checks open a pipe when they run).
            for (std::size_t k = 0; k < (w == &f ? 8u : 4u); ++k)
                ::close(taken[taken.size() - 1 - k]);
            TMergeSummary s = TDataFileMerge(dm, w->dir.Path()).Run();
            text += std::to_string(s.Merged.size()) + " merged, " + std::to_string(s.Left) + " left";
            for (const std::string &e : s.Errors)
                text += "; " + e;
            text += "\n";
            for (int fd : taken)
                ::close(fd);
        }
        return text;
    });
    ASSERT_TRUE(child.ExitedCleanly()) << child.Status << child.Text;
    EXPECT_EQ(child.Text, "40 merged, 0 left\n0 merged, 3 left; Too many open files: the merge stopped at " + g.Ivx() +
                              "/" + TCrowd::User(0) +
                              ".ivx, leaving it and the 2 scan data file(s) after it in place\n");
    crowd.CheckAndFinish(f);
}

} // namespace
