#pragma once
// Helpers shared by the data and export tests: a working folder with a real results table, raw SQL reads
// that bypass the table class, and scan-file byte builders.
#include "data/InvexaError.h"
#include "data/RsltsLst.h"
#include "data/ScanFileWriter.h"
#include "data/results.h"
#include "support/TempDir.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace invexa::test {

// Little-endian 32-bit length item followed by the text bytes.
inline std::string Item(const std::string &text) {
    return std::string{char(text.size()), char(text.size() >> 8), char(text.size() >> 16), char(text.size() >> 24)} +
           text;
}
inline std::string Le32(std::uint32_t n) { return {char(n), char(n >> 8), char(n >> 16), char(n >> 24)}; }

inline TResultsRec Rec(std::string maker, std::string app, std::string version, int flag, std::string path) {
    TResultsRec r;
    r.AppMaker = std::move(maker);
    r.AppName = std::move(app);
    r.Version = std::move(version);
    r.Verification = static_cast<std::int8_t>(flag);
    r.AppPath = std::move(path);
    return r;
}

inline TResultRow Row(std::string user, std::string maker, std::string app, std::string version,
                      std::optional<std::int16_t> flag, std::string path) {
    TResultRow r;
    r.UserName = std::move(user);
    r.AppMaker = std::move(maker);
    r.AppName = std::move(app);
    r.Version = std::move(version);
    r.Verification = flag;
    r.AppPath = std::move(path);
    return r;
}

// One row as "user|maker|app|version|flag|path", bytes as the table class returns them.
inline std::string Line(const TResultRow &r) {
    return r.UserName + "|" + r.AppMaker + "|" + r.AppName + "|" + r.Version + "|" + r.Text(TField::Verification) +
           "|" + r.AppPath;
}
inline std::string Line(const std::string &user, const TResultsRec &r) {
    return user + "|" + r.AppMaker + "|" + r.AppName + "|" + r.Version + "|" + std::to_string(r.Verification) + "|" +
           r.AppPath;
}

// A working folder holding Results.sqlite, with the data module the program would use on it.
struct TWorkFolder {
    TTempDir dir;
    std::unique_ptr<TDataModule1> dm;

    explicit TWorkFolder(bool withTable = true) {
        if (withTable) {
            EXPECT_TRUE(TResultsDatabase::Create(dir.Path()));
        }
        dm = std::make_unique<TDataModule1>(dir.Path());
    }
    TResultsTable &Table() { return dm->resultsTbl; }
    std::string DbPath() const { return dir.File(TResultsDatabase::FileName); }
    // A fresh data module, as a new program start would make.
    void Restart() {
        dm.reset();
        dm = std::make_unique<TDataModule1>(dir.Path());
    }
    // Appends the rows the way the merge does (texts cut to width) and returns them with their bookmarks.
    std::vector<TResultRow> Insert(std::vector<TResultRow> rows) {
        Table().Open();
        for (TResultRow &r : rows) {
            Table().Append();
            for (TField f : AllFields)
                if (f != TField::Verification || r.Verification)
                    Table().SetField(f, r.Text(f));
            Table().Post();
            r.Bookmark = Table().Bookmark();
        }
        return rows;
    }
    // Every row in rowid order, read through the table class.
    std::vector<std::string> Lines() {
        Table().Open();
        std::vector<std::string> out;
        for (const TResultRow &r : Table().ReadAfter(0, 1 << 30))
            out.push_back(Line(r));
        return out;
    }
    // Raw SQL results, every column as text, bypassing the table class.
    std::vector<std::vector<std::string>> Sql(const std::string &sql) {
        SQLite::Database db(DbPath(), SQLite::OPEN_READONLY);
        SQLite::Statement st(db, sql);
        std::vector<std::vector<std::string>> out;
        while (st.executeStep()) {
            auto &row = out.emplace_back();
            for (int i = 0; i < st.getColumnCount(); ++i)
                row.push_back(st.getColumn(i).isNull() ? "<null>" : st.getColumn(i).getString());
        }
        return out;
    }
};

// The message of the EInvexaError that f throws; fails the test when it throws nothing.
inline std::string ErrorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const EInvexaError &e) {
        return e.what();
    }
    ADD_FAILURE() << "no EInvexaError thrown";
    return {};
}

} // namespace invexa::test
