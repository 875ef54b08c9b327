#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace invexa {

// An INI file held as its lines, read and changed exactly as the Windows profile calls read and change it
// (see the class tests): names compared case-insensitively, first match wins, comments and foreign lines kept
// byte for byte, CR LF written. Texts are 8-bit bytes.
class TProfileFile {
public:
    TProfileFile() = default;
    // Throws EInvexaError for a UTF-16 file, which is refused rather than corrupted.
    static TProfileFile Parse(std::string_view bytes);
    std::string Serialize() const;

    // The value (trimmed, one pair of outer quotes removed), or nullopt when the section or key is missing.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    std::vector<std::string> ReadKeyNames(std::string_view section) const;
    // Each key name of ReadKeyNames with the value ReadString gives for it, in one pass over the section: a name
    // listed twice has the value of its first line both times.
    std::vector<std::pair<std::string, std::string>> ReadPairs(std::string_view section) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void EraseSection(std::string_view section);
    // The same as EraseSection followed by WriteString of each pair in order, in time linear in the pairs:
    // a save rewrites lists of thousands of entries, and each WriteString searches the section again.
    void RewriteSection(std::string_view section, const std::vector<std::pair<std::string, std::string>> &pairs);

private:
    // Each line keeps the terminator it was read with ("\r\n", "\r", "\n", or "" for a last line without one),
    // so lines nobody changed are written back byte for byte.
    struct TLine {
        std::string Text;
        std::string End;
    };
    struct TSectionSpan {
        std::size_t Header; // index of the header line
        std::size_t End;    // index of the next header line, or lines_.size()
    };

    std::optional<TSectionSpan> FindSection(std::string_view name) const;
    std::optional<std::size_t> FindKey(const TSectionSpan &span, std::string_view key) const;
    void EndLastLine();

    std::vector<TLine> lines_;
};

} // namespace invexa
