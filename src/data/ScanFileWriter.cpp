#include "data/ScanFileWriter.h"

#include "base/InvexaError.h"

#include <cstdio>
#include <fstream>

namespace invexa {
namespace {

void AppendText(std::string &out, const std::string &text) {
    auto n = static_cast<std::uint32_t>(text.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    out += text;
}

} // namespace

void ScanFileWriter::AppendRecord(std::string &out, const TResultsRec &rec) {
    AppendText(out, rec.AppMaker);
    AppendText(out, rec.AppName);
    AppendText(out, rec.Version);
    out.push_back(static_cast<char>(rec.Verification));
    AppendText(out, rec.AppPath);
}

std::string ScanFileWriter::Encode(const std::vector<TResultsRec> &records) {
    std::string out;
    for (const TResultsRec &rec : records)
        AppendRecord(out, rec);
    return out;
}

void ScanFileWriter::WriteBytes(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f)
        throw EInvexaError("Cannot write " + path);
}

void ScanFileWriter::WriteFile(const std::string &path, const std::vector<TResultsRec> &records) {
    WriteBytes(path, Encode(records));
}

std::vector<TResultsRec> ScanFileWriter::SampleRecords(int n, int count) {
    struct TApp {
        const char *Maker, *Name, *Version, *Exe;
    };
    static constexpr TApp Apps[] = {
        {"Microsoft", "Office", "16.0", "C:\\Program Files\\Microsoft Office\\root\\Office16\\WINWORD.EXE"},
        {"Microsoft", "Visual Studio", "17.8", "C:\\Program Files\\Microsoft Visual Studio\\devenv.exe"},
        {"Adobe", "Acrobat Reader", "23.6", "C:\\Program Files\\Adobe\\Acrobat Reader\\AcroRd32.exe"},
        {"Mozilla", "Firefox", "121.0", "C:\\Program Files\\Mozilla Firefox\\firefox.exe"},
        {"Google", "Chrome", "120.0", "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe"},
        {"7-Zip", "7-Zip", "23.01", "C:\\Program Files\\7-Zip\\7zFM.exe"},
        {"VideoLAN", "VLC media player", "3.0.20", "C:\\Program Files\\VideoLAN\\VLC\\vlc.exe"},
        {"Notepad++ Team", "Notepad++", "8.6", "C:\\Program Files\\Notepad++\\notepad++.exe"},
        {"Oracle", "VirtualBox", "7.0.12", "C:\\Program Files\\Oracle\\VirtualBox\\VirtualBox.exe"},
        {"Soci\xe9t\xe9 G\xe9n\xe9rale", "Caf\xe9 Compta", "2.1", "D:\\Apps\\Caf\xe9\\compta.exe"},
        {"Corel", "WordPerfect Office", "X9", ""},
        {"Intuit", "Quicken", "2024", "C:\\Program Files (x86)\\Quicken\\qw.exe"},
    };
    constexpr int AppCount = sizeof Apps / sizeof Apps[0];
    std::vector<TResultsRec> records;
    records.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TApp &app = Apps[(n * 7 + i) % AppCount];
        TResultsRec rec;
        rec.AppMaker = app.Maker;
        rec.AppName = i < AppCount ? std::string(app.Name) : std::string(app.Name) + " " + std::to_string(i);
        rec.Version = app.Version;
        rec.AppPath = app.Exe;
        rec.Verification = static_cast<std::int8_t>(app.Exe[0] == '\0' ? -1 : (n + i) % 4 - 1);
        records.push_back(std::move(rec));
    }
    return records;
}

} // namespace invexa
