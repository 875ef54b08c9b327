#pragma once
#include <optional>
#include <string>
#include <string_view>
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
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void EraseSection(std::string_view section);

    // Reads a file; a missing file is an empty profile.
    static TProfileFile Load(const std::string &path);
    // Replaces the file atomically (temporary file beside it, renamed over it, permissions kept);
    // throws EInvexaError "Unable to write to <path>".
    void Save(const std::string &path) const;

private:
    std::vector<std::string> lines_; // without line ends
    bool lastLineEnded_ = true;
};

} // namespace invexa
