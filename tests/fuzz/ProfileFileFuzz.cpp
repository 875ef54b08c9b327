// The settings file reader and writer against a model of what the Windows profile calls would see.
//
// Input: INI bytes, then an operation area, then one byte giving that area's length. The operations (writes
// and section erases) are applied both to the parsed TProfileFile and to a model of the file's lines, whose bytes
// the result must equal; parsed again, every read must answer as a model of the reads over those lines does.
#include "FuzzCheck.h"

#include "base/InvexaError.h"
#include "config/ProfileFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace invexa;

namespace {

bool Utf16Marked(std::string_view s) {
    return s.starts_with("\xFF\xFE") || s.starts_with("\xFE\xFF");
}

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

std::string_view Trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && Blank(s[b]))
        ++b;
    while (e > b && Blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Names compare as Windows folds Windows-1252 letters: ASCII, the Latin-1 capitals, and four capitals of the
// 0x80 row.
unsigned char Fold(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    if (c == 0x8A || c == 0x8C || c == 0x8E)
        return c + 0x10;
    return c == 0x9F ? 0xFF : c;
}

std::string Folded(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    return out;
}

unsigned char OtherCase(unsigned char c) {
    if (Fold(c) != c)
        return Fold(c);
    for (int u = 0; u < 256; ++u)
        if (u != c && Fold(static_cast<unsigned char>(u)) == c)
            return static_cast<unsigned char>(u);
    return c;
}

// What a read returns for a stored value: trimmed, one pair of matching outer quotes removed, at most 2,047
// characters (the scanners' buffer).
std::string ReadValue(std::string_view raw) {
    std::string_view v = Trimmed(raw);
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
        v = v.substr(1, v.size() - 2);
    return std::string(v.substr(0, 2047));
}

struct TLine {
    std::string text, end;
};

std::vector<TLine> SplitLines(std::string_view bytes) {
    std::vector<TLine> lines;
    TLine cur;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c != '\r' && c != '\n') {
            cur.text.push_back(c);
            continue;
        }
        cur.end = (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? "\r\n" : std::string(1, c);
        i += cur.end.size() - 1;
        lines.push_back(std::move(cur));
        cur = TLine();
    }
    if (!cur.text.empty())
        lines.push_back(std::move(cur));
    return lines;
}

enum class EKind { Other, Header, Comment, Key };

EKind KindOf(const std::string &text) {
    std::string_view t = Trimmed(text);
    if (t.empty())
        return EKind::Other;
    if (t[0] == '[')
        return EKind::Header;
    if (t[0] == ';')
        return EKind::Comment;
    return text.find('=') == std::string::npos ? EKind::Other : EKind::Key;
}

std::string HeaderName(const std::string &text) {
    std::string_view t = Trimmed(text).substr(1);
    return std::string(Trimmed(t.substr(0, t.find(']'))));
}

// The reads' model: every section header in file order with its key lines (name trimmed, value as stored). Reads look
// at the first section of a name and the first key of a name in it, as the Windows calls do.
struct TSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
};

struct TModel {
    std::vector<TSection> sections;

    explicit TModel(const std::vector<TLine> &lines) {
        for (const TLine &line : lines)
            if (KindOf(line.text) == EKind::Header) {
                sections.push_back({HeaderName(line.text), {}});
            } else if (KindOf(line.text) == EKind::Key && !sections.empty()) {
                std::size_t eq = line.text.find('=');
                sections.back().keys.emplace_back(Trimmed(std::string_view(line.text).substr(0, eq)),
                                                  line.text.substr(eq + 1));
            }
    }

    TSection *Find(std::string_view name) {
        for (TSection &s : sections)
            if (Folded(s.name) == Folded(Trimmed(name)))
                return &s;
        return nullptr;
    }
};

// Names the program could pass: no line breaks or zero bytes, no "=" in a key and no "]" in a section name,
// and no key that would begin a comment or a header.
std::string MakeName(FuzzedDataProvider &ops, const std::vector<std::string> &pool, bool isKey) {
    std::string name;
    std::uint8_t pick = ops.ConsumeIntegral<std::uint8_t>();
    if (pick < 224 && !pool.empty())
        name = pool[pick % pool.size()];
    else
        name = ops.ConsumeRandomLengthString(12);
    std::uint8_t shape = ops.ConsumeIntegral<std::uint8_t>();
    std::string clean;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c == '\r' || c == '\n' || c == '\0' || c == (isKey ? '=' : ']'))
            continue;
        // Another letter case for some letters: names must match whatever the case.
        if ((shape & 1) && (i % 2 == (shape >> 1 & 1)))
            c = static_cast<char>(OtherCase(static_cast<unsigned char>(c)));
        clean.push_back(c);
    }
    if (Trimmed(clean).empty())
        clean = "x" + clean;
    if (isKey && (Trimmed(clean)[0] == ';' || Trimmed(clean)[0] == '['))
        clean = "k" + clean;
    // Blanks around a name are not part of it.
    if (shape & 4)
        clean = " " + clean;
    if (shape & 8)
        clean += "\t";
    return clean;
}

std::string MakeValue(FuzzedDataProvider &ops) {
    static const std::string Pool[] = {"",    "0",  "1",     " spaced ", "\"quoted\"",
                                       "'q'", "\"", "a=b;c", "\"x'",     std::string(2100, 'v')};
    std::uint8_t pick = ops.ConsumeIntegral<std::uint8_t>();
    std::string value = pick < 128 ? Pool[pick % std::size(Pool)] : ops.ConsumeRandomLengthString(40);
    value.erase(std::remove_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n' || !c; }),
                value.end());
    return value;
}

void CheckReads(const TProfileFile &profile, TModel &model, const std::vector<std::string> &names) {
    std::set<std::string> seen;
    for (const std::string &name : names) {
        // Spellings of one name answer alike; the ops already mix their case and blanks.
        if (!seen.insert(Folded(Trimmed(name))).second)
            continue;
        TSection *s = model.Find(name);
        std::vector<std::string> expected;
        if (s)
            for (const auto &kv : s->keys)
                if (!kv.first.empty())
                    expected.push_back(kv.first);
        FUZZ_CHECK(profile.ReadKeyNames(name) == expected);
        std::vector<std::string> keys = {"UseIgnoreList", "absent key"};
        if (s)
            for (const auto &kv : s->keys)
                keys.push_back(kv.first);
        for (const std::string &key : keys) {
            std::optional<std::string> expectedValue;
            for (const auto &kv : s ? s->keys : std::vector<std::pair<std::string, std::string>>())
                if (Folded(kv.first) == Folded(key)) {
                    expectedValue = ReadValue(kv.second);
                    break;
                }
            FUZZ_CHECK(profile.ReadString(name, key) == expectedValue);
        }
    }
}

std::string Joined(const std::vector<TLine> &lines) {
    std::string bytes;
    for (const TLine &line : lines)
        bytes += line.text + line.end;
    return bytes;
}

// Where the writes and erases put and take lines, the file held as its lines: the writer's result byte for byte.
// A write ends an unended last line, replaces the value of the first key of its name in the first section of its
// name, or adds its line after that section's last key (under the header when it has none), or adds the section
// at the end. An erase takes the section's header and keys and leaves its other lines, with a blank line put in
// front of a first line that would read as a UTF-16 mark.
struct TWriterModel {
    std::vector<TLine> lines;

    std::size_t Header(std::string_view name) const {
        std::size_t h = 0;
        while (h < lines.size() &&
               !(KindOf(lines[h].text) == EKind::Header && Folded(HeaderName(lines[h].text)) == Folded(Trimmed(name))))
            ++h;
        return h;
    }
    void Write(std::string_view section, std::string_view key, std::string_view value) {
        if (!lines.empty() && lines.back().end.empty())
            lines.back().end = "\r\n";
        const std::size_t h = Header(section);
        const TLine line{std::string(Trimmed(key)) + "=" + std::string(value), "\r\n"};
        if (h == lines.size()) {
            lines.push_back({"[" + std::string(Trimmed(section)) + "]", "\r\n"});
            lines.push_back(line);
            return;
        }
        std::size_t at = h + 1;
        for (std::size_t i = h + 1; i < lines.size() && KindOf(lines[i].text) != EKind::Header; ++i) {
            if (KindOf(lines[i].text) != EKind::Key)
                continue;
            std::string &text = lines[i].text;
            if (Folded(Trimmed(std::string_view(text).substr(0, text.find('=')))) == Folded(Trimmed(key))) {
                text = text.substr(0, text.find('=') + 1) + std::string(value);
                return;
            }
            at = i + 1;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    }
    void Erase(std::string_view section) {
        const std::size_t h = Header(section);
        if (h == lines.size())
            return;
        std::size_t end = h + 1;
        while (end < lines.size() && KindOf(lines[end].text) != EKind::Header)
            ++end;
        for (std::size_t i = end; i-- > h;)
            if (i == h || KindOf(lines[i].text) == EKind::Key)
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        if (!lines.empty() && Utf16Marked(lines.front().text))
            lines.insert(lines.begin(), TLine{"", "\r\n"});
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::size_t opSize = size ? std::min<std::size_t>(data[size - 1], size - 1) : 0;
    std::size_t iniSize = size ? size - 1 - opSize : 0;
    std::string_view ini(reinterpret_cast<const char *>(data), iniSize);

    TProfileFile profile;
    bool utf16 = Utf16Marked(ini);
    try {
        profile = TProfileFile::Parse(ini);
    } catch (const EInvexaError &) {
        FUZZ_CHECK(utf16);
        return 0;
    }
    FUZZ_CHECK(!utf16);
    FUZZ_CHECK(profile.Serialize() == ini);

    std::vector<TLine> before = SplitLines(ini);
    TModel model(before);
    std::vector<std::string> sectionPool = {"Settings", "Ignore Apps", "EXE Names", "\xC9t\xE9", "s"};
    std::vector<std::string> keyPool = {"UseIgnoreList", "Distribution", "k", "\xC9\x8A"};
    for (const TSection &s : model.sections) {
        if (sectionPool.size() < 24)
            sectionPool.push_back(s.name);
        for (const auto &kv : s.keys)
            if (keyPool.size() < 48)
                keyPool.push_back(kv.first);
    }

    FuzzedDataProvider ops(data + iniSize, opSize);
    std::vector<std::string> names = sectionPool;
    TWriterModel writer{before};
    for (int n = 0; n < 16 && ops.remaining_bytes() > 0; ++n) {
        bool erase = ops.ConsumeIntegralInRange(0, 3) == 3;
        std::string section = MakeName(ops, sectionPool, false);
        names.push_back(section);
        if (erase) {
            profile.EraseSection(section);
            writer.Erase(section);
        } else {
            std::string key = MakeName(ops, keyPool, true), value = MakeValue(ops);
            profile.WriteString(section, key, value);
            writer.Write(section, key, value);
        }
    }

    // Rewriting a section in one step leaves what erasing it and writing each pair in turn leaves: with the keys of
    // the file, keys that repeat in another case, hold "=" or are blank, and then keys like comments or headers.
    std::vector<std::pair<std::string, std::string>> pairs = {{"B", "1"}, {"k=x", "2"}, {" b ", "3"},  {"k", "4"},
                                                              {"", "5"},  {"  ", "6"},  {"\xC9", "7"}, {"\xE9", "8"}};
    for (const TSection &s : model.sections)
        for (const auto &kv : s.keys)
            if (pairs.size() < 16)
                pairs.emplace_back(kv.first, kv.second);
    for (const char *odd : {"", ";c", "[h]"}) {
        if (*odd)
            pairs.emplace_back(odd, "");
        for (const std::string &section : {sectionPool.back(), std::string(" ignore apps ")}) {
            TProfileFile fast = profile, slow = profile;
            fast.RewriteSection(section, pairs);
            slow.EraseSection(section);
            for (const auto &[key, value] : pairs)
                slow.WriteString(section, key, value);
            FUZZ_CHECK(fast.Serialize() == slow.Serialize());
        }
    }

    std::string saved = profile.Serialize();
    FUZZ_CHECK(saved == Joined(writer.lines));
    // What is written must never start with a UTF-16 mark, which would make the whole file unreadable as 8-bit.
    FUZZ_CHECK(!Utf16Marked(saved));
    TProfileFile again = TProfileFile::Parse(saved);
    FUZZ_CHECK(again.Serialize() == saved);
    TModel after(writer.lines);
    CheckReads(again, after, names);
    return 0;
}
