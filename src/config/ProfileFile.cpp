#include "config/ProfileFile.h"

#include "base/Cp1252.h"
#include "base/InvexaError.h"

#include <unordered_map>

namespace invexa {

namespace {

constexpr std::string_view CrLf = "\r\n";
// The scanners read values through a 2,048-byte buffer; a longer value reaches them cut to this length, and a
// save writes back what was read, so the cut is kept here rather than handing out more than they ever see.
constexpr std::size_t MaxValueLength = 2047;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Windows compares profile names through its Unicode case mapping, which folds accented letters as well as
// ASCII ones; folding the Windows-1252 letters gives the same answer for the 8-bit texts this file holds.
bool SameName(std::string_view a, std::string_view b) {
    return CompareFolded(a, b) == 0;
}

enum class ELineKind { Other, Header, Comment, Key };

ELineKind KindOf(std::string_view line) {
    std::string_view rest = Trim(line);
    if (rest.empty())
        return ELineKind::Other;
    if (rest.front() == '[')
        return ELineKind::Header;
    if (rest.front() == ';')
        return ELineKind::Comment;
    return line.find('=') == std::string_view::npos ? ELineKind::Other : ELineKind::Key;
}

// "[[sec] tail" names the section "[sec": the name runs from the first "[" to the first "]".
std::string_view HeaderName(std::string_view line) {
    std::string_view rest = Trim(line).substr(1);
    return Trim(rest.substr(0, rest.find(']')));
}

std::string_view KeyName(std::string_view line) {
    return Trim(line.substr(0, line.find('=')));
}

std::string_view KeyValue(std::string_view line) {
    return Trim(line.substr(line.find('=') + 1));
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''))
        return value.substr(1, value.size() - 2);
    return value;
}

bool HasUtf16Mark(std::string_view bytes) {
    // FE FF (big-endian) is refused too: such a file is not 8-bit text either, and rewriting it would corrupt it.
    return bytes.size() >= 2 &&
           ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

} // namespace

TProfileFile TProfileFile::Parse(std::string_view bytes) {
    if (HasUtf16Mark(bytes))
        throw EInvexaError("UTF-16 settings files are not supported");
    // A UTF-8 byte-order mark is deliberately not recognised: the scanners take its three bytes as the start of
    // the first line, so a header there is invisible to them and must be invisible here too.
    TProfileFile profile;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t stop = bytes.find_first_of("\r\n", pos);
        if (stop == std::string_view::npos) {
            profile.lines_.push_back({std::string(bytes.substr(pos)), ""});
            break;
        }
        std::size_t endLength = (bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n') ? 2 : 1;
        profile.lines_.push_back(
            {std::string(bytes.substr(pos, stop - pos)), std::string(bytes.substr(stop, endLength))});
        pos = stop + endLength;
    }
    return profile;
}

std::string TProfileFile::Serialize() const {
    std::string bytes;
    for (const TLine &line : lines_)
        bytes.append(line.Text).append(line.End);
    return bytes;
}

std::optional<TProfileFile::TSectionSpan> TProfileFile::FindSection(std::string_view name) const {
    // Only the first header of a section is ever searched; a repeated header and its keys are invisible.
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (KindOf(lines_[i].Text) != ELineKind::Header || !SameName(HeaderName(lines_[i].Text), name))
            continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && KindOf(lines_[end].Text) != ELineKind::Header)
            ++end;
        return TSectionSpan{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> TProfileFile::FindKey(const TSectionSpan &span, std::string_view key) const {
    for (std::size_t i = span.Header + 1; i < span.End; ++i)
        if (KindOf(lines_[i].Text) == ELineKind::Key && SameName(KeyName(lines_[i].Text), key))
            return i;
    return std::nullopt;
}

std::optional<std::string> TProfileFile::ReadString(std::string_view section, std::string_view key) const {
    std::optional<TSectionSpan> span = FindSection(Trim(section));
    if (!span)
        return std::nullopt;
    std::optional<std::size_t> line = FindKey(*span, Trim(key));
    if (!line)
        return std::nullopt;
    std::string_view value = Unquote(KeyValue(lines_[*line].Text));
    return std::string(value.substr(0, MaxValueLength));
}

std::vector<std::string> TProfileFile::ReadKeyNames(std::string_view section) const {
    // No length limit: every key a save would rewrite has to be read first, or the save would drop it.
    std::vector<std::string> names;
    std::optional<TSectionSpan> span = FindSection(Trim(section));
    if (!span)
        return names;
    for (std::size_t i = span->Header + 1; i < span->End; ++i) {
        if (KindOf(lines_[i].Text) != ELineKind::Key)
            continue;
        // A line "=value" has an empty name. In the scanners' zero-separated name list an empty name would end
        // the list early, so it is left out here as well instead of becoming an empty list entry.
        std::string_view name = KeyName(lines_[i].Text);
        if (!name.empty())
            names.emplace_back(name);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> TProfileFile::ReadPairs(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::optional<TSectionSpan> span = FindSection(Trim(section));
    if (!span)
        return pairs;
    // Reading each name's value on its own would search the section once per key: minutes for a large file.
    std::unordered_map<std::string, std::size_t> first; // folded name -> its first pair
    for (std::size_t i = span->Header + 1; i < span->End; ++i) {
        if (KindOf(lines_[i].Text) != ELineKind::Key)
            continue;
        std::string_view name = KeyName(lines_[i].Text);
        if (name.empty())
            continue;
        auto [found, added] = first.try_emplace(Cp1252Folded(name), pairs.size());
        std::string value = added ? std::string(Unquote(KeyValue(lines_[i].Text)).substr(0, MaxValueLength))
                                  : pairs[found->second].second;
        pairs.emplace_back(std::string(name), std::move(value));
    }
    return pairs;
}

void TProfileFile::EndLastLine() {
    if (!lines_.empty() && lines_.back().End.empty())
        lines_.back().End = CrLf;
}

void TProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);
    EndLastLine();
    std::optional<TSectionSpan> span = FindSection(sectionName);
    if (!span) {
        lines_.push_back({"[" + std::string(sectionName) + "]", std::string(CrLf)});
        lines_.push_back({std::string(keyName) + "=" + std::string(value), std::string(CrLf)});
        return;
    }
    if (std::optional<std::size_t> existing = FindKey(*span, keyName)) {
        // Only the value changes; the file's spelling of the key, and its line end, stay.
        std::string &text = lines_[*existing].Text;
        text.erase(text.find('=') + 1);
        text.append(value);
        return;
    }
    // A new key goes right after the section's last key, so blank lines, comments and stray text that follow
    // that key stay below it; a section without keys gets it right under its header.
    std::size_t insertAt = span->Header + 1;
    for (std::size_t i = span->Header + 1; i < span->End; ++i)
        if (KindOf(lines_[i].Text) == ELineKind::Key)
            insertAt = i + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  TLine{std::string(keyName) + "=" + std::string(value), std::string(CrLf)});
}

void TProfileFile::EraseSection(std::string_view section) {
    std::optional<TSectionSpan> span = FindSection(Trim(section));
    if (!span)
        return;
    // Only the header and the key lines go. Comments stay where they were, and so do blank lines and stray
    // lines without "=": they carry no setting, and leaving them keeps every byte that is not a setting.
    std::vector<TLine> kept;
    kept.reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        bool inSection = i >= span->Header && i < span->End;
        if (inSection && (i == span->Header || KindOf(lines_[i].Text) == ELineKind::Key))
            continue;
        kept.push_back(std::move(lines_[i]));
    }
    lines_ = std::move(kept);
    // A stray line that begins with the two bytes of a UTF-16 byte-order mark carries nothing inside the file, but
    // as its first line it would make every reader, the scanners included, take the whole file for UTF-16. A blank
    // line in front keeps it where it means nothing.
    if (!lines_.empty() && HasUtf16Mark(lines_.front().Text))
        lines_.insert(lines_.begin(), TLine{std::string(), std::string(CrLf)});
}

void TProfileFile::RewriteSection(std::string_view section,
                                  const std::vector<std::pair<std::string, std::string>> &pairs) {
    EraseSection(section);
    std::string_view name = Trim(section);
    std::vector<TLine> added;
    std::unordered_map<std::string, std::size_t> byName; // folded key name -> index in added
    bool plain = !FindSection(name);                     // a second header of the same name would now take the keys
    for (std::size_t i = 0; plain && i < pairs.size(); ++i) {
        std::string text = std::string(Trim(pairs[i].first)) + "=" + pairs[i].second;
        // A key written as a comment or a header line changes where later keys go: leave those to WriteString.
        plain = KindOf(text) == ELineKind::Key;
        // WriteString looks up the whole key it is given, but a line is found by its name before the first "=":
        // a key holding "=" never finds a line, and its own line is found later under the shorter name.
        auto found = byName.find(Cp1252Folded(Trim(pairs[i].first)));
        if (found != byName.end()) {
            // Only the value after the first "=" changes, as WriteString does for a key that is there already.
            std::string &line = added[found->second].Text;
            line.erase(line.find('=') + 1);
            line.append(pairs[i].second);
            continue;
        }
        byName.emplace(Cp1252Folded(KeyName(text)), added.size()); // the first line of a name is the one found
        added.push_back({std::move(text), std::string(CrLf)});
    }
    if (!plain) {
        for (const auto &[key, value] : pairs)
            WriteString(section, key, value);
        return;
    }
    if (pairs.empty())
        return;
    EndLastLine();
    lines_.push_back({"[" + std::string(name) + "]", std::string(CrLf)});
    for (TLine &line : added)
        lines_.push_back(std::move(line));
}

} // namespace invexa
