#include "cli/ToolCommands.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"
#include "cli/TerminalProgress.h"
#include "config/SettingsEditor.h"
#include "data/DataFileMerge.h"
#include "data/ScanFileWriter.h"
#include "data/results.h"
#include "export/CsvExport.h"
#include "export/ReportTable.h"
#include "pgsql/PgResultsStore.h"
#include "pgsql/PgStoreCopy.h"
#include "pgsql/StoreChoice.h"

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace invexa {

std::unique_ptr<TDataModule1> TToolCommands::Data() const {
    return TStoreChoice::Open(Dir, Store);
}

int TToolCommands::Init() {
    std::unique_ptr<TDataModule1> dm = Data();
    if (dm->Store().Init())
        Out << "Created the empty results table in " << dm->Store().Where() << "\n";
    else
        Out << dm->Store().Where() << " already holds the results table; nothing changed\n";
    return 0;
}

namespace {

// A JSON array of the texts (8-bit, as stored), each as UTF-8.
std::string JsonTexts(const std::vector<std::string> &texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i)
        out += (i ? ", " : "") + JsonString(Cp1252ToUtf8(texts[i]));
    return out + "]";
}

void WriteMergeJson(std::ostream &out, const TMergeSummary &summary) {
    out << "{\"files_merged\": " << summary.Merged.size() << ", \"rows\": " << summary.Records()
        << ", \"folder\": " << JsonString(Cp1252ToUtf8(summary.DataFolder)) << ",\n \"merged\": [";
    for (std::size_t i = 0; i < summary.Merged.size(); ++i) {
        const TMergedFile &f = summary.Merged[i];
        out << (i ? ",\n   " : "\n   ") << "{\"file\": " << JsonString(Cp1252ToUtf8(f.FileName))
            << ", \"user\": " << JsonString(Cp1252ToUtf8(f.UserName)) << ", \"records\": " << f.Records << "}";
    }
    out << "],\n \"files_left\": " << summary.Left << ", \"left\": " << JsonTexts(summary.Errors)
        << ",\n \"warnings\": " << JsonTexts(summary.Warnings) << "}\n";
}

} // namespace

int TToolCommands::Merge() {
    std::unique_ptr<TDataModule1> dm = Data();
    TTerminalProgress progress(Err, Terminal);
    TMergeSummary summary = dm->Store().Merge(Dir, &progress);
    if (Json) {
        WriteMergeJson(Out, summary);
    } else {
        // Names are shown with their control characters escaped: a file name must not drive the terminal.
        for (const TMergedFile &f : summary.Merged)
            Out << "merged " << Shown(f.FileName) << ": " << f.Records << " records for user '" << Shown(f.UserName)
                << "'\n";
        Out << "Merged " << summary.Merged.size() << " file(s), " << summary.Records() << " record(s), from "
            << Shown(summary.DataFolder) << "\n";
    }
    for (const std::string &w : summary.Warnings)
        if (!Quiet)
            Err << "Warning: " << w << "\n";
    for (const std::string &e : summary.Errors)
        Err << e << "\n";
    if (summary.Left > 0)
        Err << summary.Left << " scan data file(s) left in place; they are merged again next time\n";
    return summary.Errors.empty() ? 0 : 1;
}

int TToolCommands::Export() {
    std::unique_ptr<TDataModule1> dm = Data();
    dm->Store().Open();
    std::string path = (fs::path(Dir) / CsvExport::FileName).string();
    long long rows = CsvExport::Export(dm->Store(), path);
    Out << "Exported " << rows << " row(s) to " << path << "\n";
    return 0;
}

int TToolCommands::Settings() {
    TScanSettings s = TSettingsEditor(Dir).Settings;
    auto flag = [](bool on) { return on ? "true" : "false"; };
    if (Json) {
        Out << "{\"UseIgnoreList\": " << flag(s.UseIgnoreList) << ", \"SearchForExe\": " << flag(s.SearchForExe)
            << ", \"StealthMode\": " << flag(s.StealthMode)
            << ", \"Distribution\": " << JsonString(Cp1252ToUtf8(s.Distribution))
            << ",\n \"IgnoreApps\": " << JsonTexts(s.IgnoreList) << ",\n \"ExeNames\": " << JsonTexts(s.ExeNames)
            << "}\n";
    } else {
        Out << "UseIgnoreList=" << (s.UseIgnoreList ? 1 : 0) << "\n"
            << "SearchForExe=" << (s.SearchForExe ? 1 : 0) << "\n"
            << "StealthMode=" << (s.StealthMode ? 1 : 0) << "\n"
            << "Distribution=" << s.Distribution << "\n"
            << "[Ignore Apps]\n";
        for (const std::string &entry : s.IgnoreList)
            Out << entry << "\n";
        Out << "[EXE Names]\n";
        for (const std::string &entry : s.ExeNames)
            Out << entry << "\n";
    }
    if (std::optional<std::string> notice = CutShortSave(Dir)) {
        Err << *notice << "\n";
        return 1;
    }
    return 0;
}

int TToolCommands::Empty() {
    Data()->Store().Empty();
    Out << "Emptied the results table\n";
    return 0;
}

int TToolCommands::DeleteApp(const std::string &maker, const std::string &appName) {
    std::int64_t n = Data()->Store().DeleteApplication(maker, appName);
    Out << "Deleted " << n << " row(s) of " << maker << "\\" << appName << "\n";
    return 0;
}

int TToolCommands::Demo(const std::string &folder) {
    fs::path root = fs::absolute(folder);
    std::error_code ec;
    fs::create_directories(root / "ivx", ec);
    if (ec)
        throw EInvexaError("Cannot create " + (root / "ivx").string() + ": " + ec.message());
    TStoreChoice::Open(root.string(), Store)->Store().Init();
    TSettingsEditor setup(root.string());
    if (setup.Settings.IgnoreList.empty() && setup.Settings.ExeNames.empty()) {
        setup.AddIgnore("Microsoft", "Windows Update");
        setup.AddIgnore("Intel", "");
        setup.AddExe("Firefox", "firefox.exe");
        setup.AddExe("Acrobat Reader", "AcroRd32.exe");
        setup.SetSwitch("StealthMode", false);
        setup.SetDistribution("Head Office");
        setup.Save();
    }
    static constexpr const char *Users[] = {"alice", "bob", "carol", "dave", "erin", "frank", "grace", "heidi"};
    int n = 0;
    for (const char *user : Users) {
        ScanFileWriter::WriteFile((root / "ivx" / (std::string(user) + ".ivx")).string(),
                                  ScanFileWriter::SampleRecords(n, 10 + 3 * n));
        ++n;
    }
    Out << "Demo folder " << root.string() << ": results table, INVEXA.INI and " << n << " scan data files in ivx/\n";
    return 0;
}

int TToolCommands::CopyStore(const std::string &to) {
    TResultsDatabase from(Dir);
    TPgResultsStore target(to);
    const std::int64_t rows = TPgStoreCopy::Run(from, target);
    Out << "Copied " << rows << " row(s) from " << from.Path() << " to " << target.Server() << "\n";
    return 0;
}

} // namespace invexa
