// Times the PostgreSQL store against psql on one server: USERS scans of RECORDS rows merged through
// TPgMergeBatch in the merge's batches, against psql's \copy of the same rows into the same table and index;
// the same rows sent as COPY's text format through the same connection (to choose the format); a second merge
// replacing every user; the row stream; and the grid's first and last windows and count.
// Usage: pg_merge_bench URI [USERS=10000] [RECORDS=100] [BATCH_USERS=1000]
#include "base/Cp1252.h"
#include "data/ScanFileWriter.h"
#include "pgsql/PgMergeBatch.h"
#include "pgsql/PgResultsStore.h"
#include "pgsql/PgRowStream.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>

using namespace invexa;

namespace {

double Seconds(const std::function<void()> &f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<TResultRow> Rows(int user, int records, int variant) {
    char name[32];
    std::snprintf(name, sizeof name, "user%05d", user);
    std::vector<TResultRow> rows;
    for (const TResultsRec &r : ScanFileWriter::SampleRecords(user + variant, records)) {
        TResultRow &row = rows.emplace_back();
        row.SetText(TField::UserName, name);
        row.SetText(TField::AppMaker, r.AppMaker);
        row.SetText(TField::AppName, r.AppName);
        row.SetText(TField::Version, r.Version);
        row.SetText(TField::AppPath, r.AppPath);
        row.Verification = r.Verification;
    }
    return rows;
}

// COPY's text format: tab between columns, backslash escapes, \N for NULL.
void AppendText(std::string &out, const TResultRow &row) {
    for (TField f : {TField::UserName, TField::AppMaker, TField::AppName, TField::Version, TField::AppPath}) {
        for (char c : Cp1252ToUtf8(row.Text(f))) {
            if (c == '\\' || c == '\t' || c == '\n' || c == '\r')
                out += '\\', c = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c;
            out += c;
        }
        out += '\t';
    }
    out += row.Verification ? std::to_string(*row.Verification) : "\\N";
    out += '\n';
}

} // namespace

int main(int argc, char **argv) try {
    if (argc < 2) {
        std::cerr << "usage: pg_merge_bench URI [USERS] [RECORDS] [BATCH_USERS]\n";
        return 2;
    }
    const std::string uri = argv[1];
    const int users = argc > 2 ? std::atoi(argv[2]) : 10000, records = argc > 3 ? std::atoi(argv[3]) : 100,
              batchUsers = argc > 4 ? std::atoi(argv[4]) : 1000;
    TPgResultsStore store(uri);
    store.Init();
    TPgConnection &conn = store.Connection();
    std::vector<std::vector<TResultRow>> scans, later;
    std::string text;
    for (int u = 0; u < users; ++u) {
        scans.push_back(Rows(u, records, 0));
        later.push_back(Rows(u, records, 1000003));
        for (const TResultRow &r : scans.back())
            AppendText(text, r);
    }
    const std::string file = "/tmp/pg_merge_bench.txt";
    std::ofstream(file, std::ios::binary) << text;
    auto merge = [&](const std::vector<std::vector<TResultRow>> &all) {
        TPgMergeBatch batch(conn);
        for (int u = 0; u < users; ++u) {
            batch.Add(all[u][0].UserName, all[u], u, u);
            if ((u + 1) % batchUsers == 0)
                batch.Commit();
        }
        batch.Commit();
    };
    const std::string copySql = "COPY Results (UserName, AppMaker, AppName, Version, AppPath, Verification) FROM ";
    const std::string psql = "psql -X -q -v ON_ERROR_STOP=1 '" + uri + "' -c \"\\copy " +
                             copySql.substr(5, copySql.size() - 10) + " FROM '" + file + "'\"";
    const long rows = static_cast<long>(users) * records;
    double best[5] = {1e9, 1e9, 1e9, 1e9, 1e9};
    for (int run = 0; run < 3; ++run) {
        conn.Exec("TRUNCATE Results, Scans");
        best[0] = std::min(best[0], Seconds([&] { merge(scans); }));
        best[1] = std::min(best[1], Seconds([&] { merge(later); }));
        conn.Exec("TRUNCATE Results, Scans");
        best[2] = std::min(best[2], Seconds([&] {
                               if (std::system(psql.c_str()) != 0)
                                   throw EInvexaError("psql failed: " + psql);
                           }));
        conn.Exec("TRUNCATE Results, Scans");
        best[3] = std::min(best[3], Seconds([&] {
                               TPgTransaction tx(conn);
                               conn.CopyIn(copySql + "STDIN");
                               conn.CopyData(text);
                               conn.CopyEnd();
                               tx.Commit();
                           }));
        best[4] = std::min(best[4], Seconds([&] {
                               TPgRowStream stream(conn);
                               long n = 0;
                               for (TResultRow row; stream.Next(row);)
                                   ++n;
                               if (n != rows)
                                   throw EInvexaError("the stream gave " + std::to_string(n) + " rows");
                           }));
    }
    std::printf("%ld rows, %d users, best of 3 (seconds)\n", rows, users);
    std::printf("merge through the store (binary COPY)   %7.2f  (%.2fx psql)\n", best[0], best[0] / best[2]);
    std::printf("psql \\copy of the same rows             %7.2f\n", best[2]);
    std::printf("the rows as one text-format COPY        %7.2f\n", best[3]);
    std::printf("second merge replacing every user       %7.2f\n", best[1]);
    std::printf("row stream (export's read)              %7.2f\n", best[4]);
    std::printf("count %.3f, first window %.4f, last window %.4f\n", Seconds([&] { store.Count(); }),
                Seconds([&] { store.FirstRows(128); }), Seconds([&] { store.LastRows(128); }));
    std::remove(file.c_str());
    return 0;
} catch (const std::exception &e) {
    std::cerr << e.what() << "\n";
    return 1;
}
