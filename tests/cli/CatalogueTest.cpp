// The software catalogue through the tool: a hand-counted table in each format, a random table against a
// straightforward count, and the scan times the merge records.
#include "cli/InvexaTool.h"
#include "data/ScanFileWriter.h"
#include "support/TempDir.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <sstream>
#include <sys/time.h>
#include <tuple>

using invexa::test::TTempDir;

namespace {

struct TRun {
    int Status;
    std::string Out;
};

TRun Tool(const std::string &dir, const std::string &args) {
    std::vector<std::string> words = {"-C", dir};
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1)
        words.push_back(args.substr(at, (end = args.find('|', at)) - at));
    std::ostringstream out, err;
    int status = invexa::RunInvexa(words, out, err);
    return {status, out.str() + err.str()};
}

using TRows = std::vector<std::array<std::string, 4>>; // user, maker, app, version

void Insert(const std::string &dir, const TRows &rows) {
    SQLite::Database db(dir + "/Results.sqlite", SQLite::OPEN_READWRITE);
    SQLite::Transaction tx(db);
    SQLite::Statement st(db, "INSERT INTO Results (UserName, AppMaker, AppName, Version) VALUES (?, ?, ?, ?)");
    for (const auto &r : rows) {
        for (int i = 0; i < 4; ++i)
            st.bind(i + 1, r[i]);
        st.exec();
        st.reset();
    }
    tx.commit();
}

TEST(Catalogue, HandCountedTableInEachFormat) {
    TTempDir dir;
    ASSERT_EQ(Tool(dir.Path(), "init").Status, 0);
    // alice has Acme Tool 1.1 twice: one install. Makers differing in case only are lines of their own.
    Insert(dir.Path(), {{"alice", "Acme", "Tool", "1.1"},
                        {"alice", "Acme", "Tool", "1.1"},
                        {"alice", "Acme", "Tool", "2.0"},
                        {"bob", "acme", "Tool", "10.0"},
                        {"carol", "Acme", "Tool", "1.1"},
                        {"bob", "\u00c9clair, Ltd", "Say \"Hi\"", ""},
                        {"carol", "Zeta", "Zip", "1"},
                        {"dave", "\u00e9clair", "Paint", "3"},
                        {"dave", "ACME", "Tool", "10.0"}});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"catalogue", "AppMaker     AppName   Installs\n"
                      "Acme         Tool             2\n"
                      "ACME         Tool             1\n"
                      "acme         Tool             1\n"
                      "Zeta         Zip              1\n"
                      "\u00e9clair       Paint            1\n"
                      "\u00c9clair, Ltd  Say \"Hi\"         1\n"},
        {"catalogue|--versions|--format|csv", "AppMaker,AppName,Version,Installs\r\n"
                                              "Acme,Tool,1.1,2\r\nACME,Tool,10.0,1\r\nacme,Tool,10.0,1\r\n"
                                              "Acme,Tool,2.0,1\r\nZeta,Zip,1,1\r\n\u00e9clair,Paint,3,1\r\n"
                                              "\"\u00c9clair, Ltd\",\"Say \"\"Hi\"\"\",,1\r\n"},
        {"catalogue|--filter|\u00c9CLAIR|--format|json",
         "[\n  {\"AppMaker\": \"\u00e9clair\", \"AppName\": \"Paint\", \"Installs\": 1},\n"
         "  {\"AppMaker\": \"\u00c9clair, Ltd\", \"AppName\": \"Say \\\"Hi\\\"\", \"Installs\": 1}\n]\n"},
        {"catalogue|--filter|\xe9"
         "CLAIR|--format|csv", // Windows-1252 bytes
         "AppMaker,AppName,Installs\r\n\u00e9clair,Paint,1\r\n\"\u00c9clair, Ltd\",\"Say \"\"Hi\"\"\",1\r\n"},
        {"catalogue|--filter|nothing|--format|csv", "AppMaker,AppName,Installs\r\n"},
        {"catalogue|--filter|nothing|--format|json", "[]\n"},
        {"users|Acme|Tool", "UserName\nalice\ncarol\n"},
        {"users|Acme|Tool|2.0|--format|csv", "UserName\r\nalice\r\n"},
        {"users|acme|Tool|--format|json", "[\n  {\"UserName\": \"bob\"}\n]\n"},
        {"users|\u00c9clair, Ltd|Say \"Hi\"|--format|csv", "UserName\r\nbob\r\n"},
        {"computers|--format|csv",
         "UserName,Rows,LastScan,Merged\r\nalice,3,,\r\nbob,2,,\r\ncarol,2,,\r\ndave,2,,\r\n"},
        {"computers|--older-than|30|--format|json",
         "[\n  {\"UserName\": \"alice\", \"Rows\": 3, \"LastScan\": null, \"Merged\": null},\n"
         "  {\"UserName\": \"bob\", \"Rows\": 2, \"LastScan\": null, \"Merged\": null},\n"
         "  {\"UserName\": \"carol\", \"Rows\": 2, \"LastScan\": null, \"Merged\": null},\n"
         "  {\"UserName\": \"dave\", \"Rows\": 2, \"LastScan\": null, \"Merged\": null}\n]\n"},
    };
    for (const auto &[args, expected] : cases) {
        TRun run = Tool(dir.Path(), args);
        EXPECT_EQ(run.Status, 0) << args;
        EXPECT_EQ(run.Out, expected) << args;
    }
    for (const char *args : {"catalogue|--format|xml", "users|Acme", "computers|--older-than|soon"})
        EXPECT_EQ(Tool(dir.Path(), args).Status, 2) << args;
}

// Straightforward counts of a random table large enough to take several counting transactions.
TEST(Catalogue, RandomTableMatchesAStraightforwardCount) {
    const std::vector<std::string> makers = {"Acme", "ACME", "acme", "\u00c9clair", "\u00e9clair", "Zeta"},
                                   apps = {"App", "app", "Tool"}, versions = {"1.1", "10.0", "2.0", ""};
    std::mt19937 random(14);
    auto pick = [&](const std::vector<std::string> &from) { return from[random() % from.size()]; };
    auto user = [&] { return random() % 3000 ? "user" + std::to_string(random() % 3000) : ""; }; // "": one user
    TRows rows;
    for (int i = 0; i < 45000; ++i)
        rows.push_back({user(), pick(makers), pick(apps), pick(versions)});
    std::shuffle(rows.begin(), rows.end(), random);
    TTempDir dir;
    ASSERT_EQ(Tool(dir.Path(), "init").Status, 0);
    Insert(dir.Path(), rows);

    // The test's own folding: ASCII and the one accented letter of the table.
    auto fold = [](std::string s) {
        for (std::size_t at; (at = s.find("\u00c9")) != std::string::npos;)
            s.replace(at, 2, "\u00e9");
        for (char &c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (bool byVersion : {false, true}) {
        std::map<std::tuple<std::string, std::string, std::string>, std::set<std::string>> users;
        for (const auto &r : rows)
            users[{r[1], r[2], byVersion ? r[3] : ""}].insert(r[0]);
        std::vector<std::tuple<long, std::string, std::string, std::string, std::string>> lines;
        for (const auto &[key, names] : users) {
            auto [m, a, v] = key;
            lines.emplace_back(-static_cast<long>(names.size()), fold(m) + '\0' + fold(a) + '\0' + fold(v), m, a, v);
        }
        std::sort(lines.begin(), lines.end());
        std::string expected = byVersion ? "AppMaker,AppName,Version,Installs\r\n" : "AppMaker,AppName,Installs\r\n";
        for (const auto &[installs, key, m, a, v] : lines)
            expected += m + "," + a + (byVersion ? "," + v : "") + "," + std::to_string(-installs) + "\r\n";
        EXPECT_EQ(Tool(dir.Path(), byVersion ? "catalogue|--versions|--format|csv" : "catalogue|--format|csv").Out,
                  expected);
    }
    std::set<std::string> tools;
    for (const auto &r : rows)
        if (r[1] == "\u00c9clair" && r[2] == "app")
            tools.insert(r[0]);
    std::vector<std::string> sorted(tools.begin(), tools.end()); // "user" and digits: bytes order is the order
    std::string expected = "UserName\r\n";
    for (const std::string &u : sorted)
        expected += u + "\r\n";
    EXPECT_EQ(Tool(dir.Path(), "users|\u00c9clair|app|--format|csv").Out, expected);
}

// The merge records each user's scan file time and its own; an older file without Scans reads as unknown
// times until a merge adds the table; emptying the table empties Scans too.
TEST(Catalogue, ScanTimesOfMergedFiles) {
    TTempDir dir;
    ASSERT_EQ(Tool(dir.Path(), "init").Status, 0);
    Insert(dir.Path(), {{"typed", "M", "A", "1"}});
    SQLite::Database(dir.Path() + "/Results.sqlite", SQLite::OPEN_READWRITE).exec("DROP TABLE Scans");
    EXPECT_EQ(Tool(dir.Path(), "computers|--format|csv").Out, "UserName,Rows,LastScan,Merged\r\ntyped,1,,\r\n");

    auto iso = [](time_t when) {
        char text[32];
        strftime(text, sizeof text, "%FT%TZ", gmtime(&when));
        return std::string(text);
    };
    const std::vector<std::pair<std::string, long>> scans = {{"alice", time(nullptr) - 86400},
                                                             {"b\u00f6b", 1700000000}};
    for (const auto &[user, mtime] : scans) {
        invexa::TScanFileWriter::WriteFile(dir.File(user + ".ivx"), {{"M", "A", "1", 1, ""}, {"M", "B", "1", 1, ""}});
        timeval times[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(utimes(dir.File(user + ".ivx").c_str(), times), 0);
    }
    const long before = time(nullptr);
    ASSERT_EQ(Tool(dir.Path(), "merge").Status, 0);
    const long after = time(nullptr);
    SQLite::Database db(dir.Path() + "/Results.sqlite", SQLite::OPEN_READONLY);
    SQLite::Statement st(db, "SELECT UserName, LastScan, Merged FROM Scans ORDER BY UserName");
    std::string merged[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(st.executeStep());
        EXPECT_EQ(st.getColumn(0).getString(), scans[i].first);
        EXPECT_EQ(st.getColumn(1).getInt64(), scans[i].second);
        const time_t when = st.getColumn(2).getInt64();
        EXPECT_GE(when, before);
        EXPECT_LE(when, after);
        merged[i] = iso(when);
    }
    EXPECT_FALSE(st.executeStep());
    EXPECT_EQ(Tool(dir.Path(), "computers|--format|csv").Out,
              "UserName,Rows,LastScan,Merged\r\nalice,2," + iso(scans[0].second) + "," + merged[0] +
                  "\r\nb\u00f6b,2,2023-11-14T22:13:20Z," + merged[1] + "\r\ntyped,1,,\r\n");
    // alice scanned yesterday, the other in 2023, typed never: a thousand days back keeps the last two.
    EXPECT_EQ(Tool(dir.Path(), "computers|--older-than|1000|--format|csv").Out,
              "UserName,Rows,LastScan,Merged\r\nb\u00f6b,2,2023-11-14T22:13:20Z," + merged[1] + "\r\ntyped,1,,\r\n");

    ASSERT_EQ(Tool(dir.Path(), "empty").Status, 0);
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM Scans").getInt(), 0);
    EXPECT_EQ(Tool(dir.Path(), "computers|--format|csv").Out, "UserName,Rows,LastScan,Merged\r\n");
}

} // namespace
