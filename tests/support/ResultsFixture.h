#pragma once
// Helpers of the data and export tests: a working folder as the scanners leave it (a real results table, an ivx
// sub-folder of scan files), raw SQL reads that bypass the table class, and scan-file byte builders.
#include "base/InvexaError.h"
#include "data/DataFileMerge.h"
#include "data/ScanFileWriter.h"
#include "data/results.h"
#include "pgsql/PgCopyRows.h"
#include "pgsql/PgResultsStore.h"
#include "pgsql/StoreChoice.h"
#include "support/TempDir.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace invexa::test {

inline TResultsRec Rec(std::string maker, std::string app, std::string version, int flag, std::string path) {
    return {std::move(maker), std::move(app), std::move(version), static_cast<std::int8_t>(flag), std::move(path)};
}
inline TResultRow Row(std::string user, std::string maker, std::string app, std::string version,
                      std::optional<std::int16_t> flag, std::string path) {
    return {0, std::move(user), std::move(maker), std::move(app), std::move(version), std::move(path), flag};
}

// A row as "user|maker|app|version|flag|path", bytes as the table class returns them; the rows of an earlier
// scan and of a scan file in that form.
inline std::string Line(const TResultRow &r) {
    return r.UserName + "|" + r.AppMaker + "|" + r.AppName + "|" + r.Version + "|" + r.Text(TField::Verification) +
           "|" + r.AppPath;
}
inline std::string Line(const std::string &user, const TResultsRec &r) {
    return Line(Row(user, r.AppMaker, r.AppName, r.Version, r.Verification, r.AppPath));
}
inline TResultRow OldRow(const std::string &user, int k) {
    return Row(user, "Old", "app" + std::to_string(k), "0", 0, "");
}
inline std::vector<std::string> OldLines(const std::string &user, int count) {
    std::vector<std::string> out;
    for (int k = 0; k < count; ++k)
        out.push_back(Line(OldRow(user, k)));
    return out;
}
inline std::vector<std::string> NewLines(const std::string &user, const std::vector<TResultsRec> &records) {
    std::vector<std::string> out;
    for (const TResultsRec &r : records)
        out.push_back(Line(user, r));
    return out;
}

// Records what the merge shows in its progress window; onStep runs at each file.
struct TSteps : IProgress {
    std::vector<std::string> calls;
    std::function<void(const std::string &)> onStep = [](const std::string &) {};
    void Start(const std::string &headline) override { calls.push_back(headline); }
    void Step(const std::string &item) override { calls.push_back(item), onStep(item); }
    void Finish() override { calls.push_back("finish"); }
};

// A working folder holding an empty ivx folder and an empty results table, with the data module the program would
// use: the table is Results.sqlite in the folder, or the one of the PostgreSQL database store names, emptied. The
// reads, writes and merges below go through the store; DbPath, Table and Sql are Results.sqlite's.
struct TWorkFolder {
    TTempDir dir;
    std::string store; // as INVEXA_STORE (PgTestStore): empty for Results.sqlite
    std::unique_ptr<TDataModule1> dm;

    explicit TWorkFolder(std::string storeUri = {}) : store(std::move(storeUri)) {
        std::filesystem::create_directory(Ivx());
        Restart();
        if (!dm->Store().Init()) // a server's table that an earlier folder made
            dm->Store().Empty();
    }
    TResultsTable &Table() { return dm->resultsTbl; }
    std::string DbPath() const { return dir.File(TResultsDatabase::FileName); }
    std::string Ivx() const { return dir.File("ivx"); }
    void Restart() { // a fresh data module, as a new program start makes
        dm.reset();
        dm = TStoreChoice::Open(dir.Path(), store);
    }
    // Stores the rows (texts cut to width) in one commit; returns them with their bookmarks. On the server one COPY
    // takes them, as the crowds below have many, and leaves the bookmarks unset.
    std::vector<TResultRow> Insert(std::vector<TResultRow> rows) {
        dm->Store().Open();
        if (auto *server = dynamic_cast<TPgResultsStore *>(&dm->Store())) {
            TPgCopyRows copy;
            for (const TResultRow &r : rows)
                copy.Add(r);
            server->Connection().CopyIn(copy.Statement());
            server->Connection().CopyData(copy.Take() + TPgCopyRows::Trailer());
            server->Connection().CopyEnd();
            return rows;
        }
        SQLite::Transaction tx(dm->database.Connection());
        for (TResultRow &r : rows)
            Table().InsertRow(r);
        tx.commit();
        return rows;
    }
    void InsertOld(const std::vector<std::string> &users, int perUser) {
        std::vector<TResultRow> rows;
        for (const std::string &u : users)
            for (int k = 0; k < perUser; ++k)
                rows.push_back(OldRow(u, k));
        Insert(rows);
    }
    std::string Scan(const std::string &name, const std::vector<TResultsRec> &records) const {
        ScanFileWriter::WriteFile(Ivx() + "/" + name, records);
        return Ivx() + "/" + name;
    }
    TMergeSummary Merge(IProgress *progress = nullptr) { return dm->Store().Merge(dir.Path(), progress); }
    bool Waiting(const std::string &name) const { return std::filesystem::exists(Ivx() + "/" + name); }
    std::vector<std::string> Waiting() const {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(Ivx()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Every row in natural order, through the store; and each user's rows in that order.
    std::vector<std::string> Lines() {
        dm->Store().Open();
        std::vector<std::string> out;
        for (const TResultRow &r : dm->Store().ReadAfter(0, 1 << 30))
            out.push_back(Line(r));
        return out;
    }
    std::map<std::string, std::vector<std::string>> ByUser() {
        std::map<std::string, std::vector<std::string>> out;
        for (const std::string &line : Lines())
            out[line.substr(0, line.find('|'))].push_back(line);
        return out;
    }
    // Raw SQL results, every column as text.
    std::vector<std::vector<std::string>> Sql(const std::string &sql) const {
        SQLite::Database db(DbPath(), SQLite::OPEN_READONLY);
        SQLite::Statement st(db, sql);
        std::vector<std::vector<std::string>> out;
        while (st.executeStep())
            for (int i = 0; i < st.getColumnCount(); ++i)
                (i ? out.back() : out.emplace_back()).push_back(st.getColumn(i).getString());
        return out;
    }
};

// A crowd of users, each with rows of an earlier scan and a scan file waiting, beside a bystander without one:
// the folder of the tests that break a merge off (crash, failing disk, a second administrator).
struct TCrowd {
    int users, oldRows, newRows;
    int grower = -1; // this user's scan file has four records more than the others
    static std::string User(int i) { return "user" + std::to_string(1000 + i); }
    std::vector<TResultsRec> Scan(int i) const { return ScanFileWriter::SampleRecords(i, newRows + (i == grower) * 4); }
    std::vector<std::string> Fresh(int i) const { return NewLines(User(i), Scan(i)); }
    void Prepare(TWorkFolder &f) const {
        std::vector<std::string> names{"bystander"};
        for (int i = 0; i < users; ++i) {
            names.push_back(User(i));
            f.Scan(User(i) + ".ivx", Scan(i));
        }
        f.InsertOld(names, oldRows);
        f.dm.reset(); // whatever merges opens its own connection
    }
    // After a merge broken off anywhere: the table opens, a user whose file is gone has exactly its new rows, one
    // whose file waits has its old or its new rows; the next merge then reaches the table of a merge that never
    // broke, the bystander's rows first and then the users' in name order unless two merges ran at once. Returns
    // how many files the broken merge had finished.
    int CheckAndFinish(TWorkFolder &f, bool ordered = true) const {
        f.Restart();
        auto rows = f.ByUser();
        int gone = 0;
        for (int i = 0; i < users; ++i) {
            const bool waits = f.Waiting(User(i) + ".ivx");
            gone += !waits;
            EXPECT_TRUE(rows[User(i)] == Fresh(i) || (waits && rows[User(i)] == OldLines(User(i), oldRows)))
                << User(i) << (waits ? "" : ": the file is gone but its rows are not committed");
        }
        EXPECT_EQ(f.Merge().Errors, std::vector<std::string>{});
        EXPECT_EQ(f.Waiting(), std::vector<std::string>{});
        rows = f.ByUser();
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(users + 1));
        EXPECT_EQ(rows["bystander"], OldLines("bystander", oldRows));
        std::vector<std::string> all = OldLines("bystander", oldRows);
        for (int i = 0; i < users; ++i) {
            EXPECT_EQ(rows[User(i)], Fresh(i));
            std::vector<std::string> fresh = Fresh(i);
            all.insert(all.end(), fresh.begin(), fresh.end());
        }
        if (ordered) {
            EXPECT_TRUE(f.Lines() == all) << "the rows are not in the order of removing and appending";
        }
        return gone;
    }
};

} // namespace invexa::test
