#include "cli/CatalogueCommands.h"

#include "base/Cp1252.h"
#include "cli/InvexaTool.h"
#include "cli/ToolCommands.h"
#include "data/Catalogue.h"
#include "data/results.h"
#include "export/ReportTable.h"

#include <CLI/CLI.hpp>

#include <ctime>

namespace invexa {
namespace {

// A text typed on the command line, taken as the other commands take theirs, in the table's UTF-8.
std::string ArgText(const std::string &arg) {
    return Cp1252ToUtf8(AsTyped(arg));
}

TReportFormat FormatOf(const std::string &word) {
    return TReportTable::ParseFormat(word).value_or(TReportFormat::Text);
}

} // namespace

void TCatalogueCommands::Add(CLI::App &app, std::function<int()> &action) {
    auto format = [&](CLI::App *sub) {
        sub->add_option("--format", format_, "text (the default), csv or json")
            ->check(CLI::IsMember({"text", "csv", "json"}));
    };
    auto *catalogue = app.add_subcommand("catalogue", "Count the users that have each application");
    catalogue->add_flag("--versions", versions_, "One line per version");
    catalogue->add_option("--filter", filter_, "Keep makers or applications that contain TEXT, ignoring case");
    format(catalogue);
    catalogue->callback([&] { action = [&] { return Catalogue(); }; });

    auto *users = app.add_subcommand("users", "List the users that have one application");
    AddTexts(users, words_, {"MAKER", "APP", "VERSION"}, 2, "maker, application and optional version");
    format(users);
    users->callback([&] { action = [&] { return Users(); }; });

    auto *computers = app.add_subcommand("computers", "List the users with their rows and scan times");
    computers->add_option("--older-than", olderThanDays_, "Keep users not scanned for DAYS days (or never)")
        ->check(CLI::NonNegativeNumber);
    format(computers);
    computers->callback([&] { action = [&] { return Computers(); }; });
}

int TCatalogueCommands::Catalogue() {
    TCatalogue::TCounts counts = cmd_.Data()->Store().CatalogueCounts();
    auto lines = TCatalogue::Filter(versions_ ? counts.Versions : counts.Apps, ArgText(filter_));
    TReportTable::Catalogue(lines, versions_).Write(cmd_.Out, FormatOf(format_));
    return 0;
}

int TCatalogueCommands::Users() {
    std::optional<std::string> version;
    if (words_.size() > 2)
        version = ArgText(words_[2]);
    auto users = cmd_.Data()->Store().Users(ArgText(words_[0]), ArgText(words_[1]), version);
    TReportTable::Users(users).Write(cmd_.Out, FormatOf(format_));
    return 0;
}

int TCatalogueCommands::Computers() {
    std::vector<TComputerLine> lines = cmd_.Data()->Store().Computers();
    if (olderThanDays_) {
        auto cutoff = static_cast<std::int64_t>(std::time(nullptr) - *olderThanDays_ * 86400);
        std::erase_if(lines, [&](const TComputerLine &l) { return l.LastScan && *l.LastScan >= cutoff; });
    }
    TReportTable::Computers(lines).Write(cmd_.Out, FormatOf(format_));
    return 0;
}

} // namespace invexa
