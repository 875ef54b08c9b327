// The settings file reader and writer against a model of what the Windows profile calls would see.
//
// Input: INI bytes, then an operation area, then one byte giving that area's length. The operations (writes
// and section erases) are applied both to the parsed TProfileFile and to the model; the result is serialised
// and parsed again, and then every read must answer as the model does, and every line outside the touched
// sections must still be there byte for byte.
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

// A header and the lines up to the next one; the first block is the lines before any header (no name).
struct TBlock {
    std::optional<std::string> name;
    std::vector<TLine> lines;
};

std::vector<TBlock> Blocks(const std::vector<TLine> &lines) {
    std::vector<TBlock> blocks(1);
    for (const TLine &line : lines) {
        if (KindOf(line.text) == EKind::Header)
            blocks.push_back({HeaderName(line.text), {}});
        blocks.back().lines.push_back(line);
    }
    return blocks;
}

// The model: every section header in file order with its key lines (name trimmed, value as stored). Reads look
// at the first section of a name and the first key of a name in it, as the Windows calls do.
struct TSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
};

struct TModel {
    std::vector<TSection> sections;

    explicit TModel(const std::vector<TBlock> &blocks) {
        for (const TBlock &block : blocks) {
            if (!block.name)
                continue;
            TSection section{*block.name, {}};
            for (const TLine &line : block.lines)
                if (KindOf(line.text) == EKind::Key) {
                    std::size_t eq = line.text.find('=');
                    section.keys.emplace_back(Trimmed(std::string_view(line.text).substr(0, eq)),
                                              line.text.substr(eq + 1));
                }
            sections.push_back(std::move(section));
        }
    }

    TSection *Find(std::string_view name) {
        for (TSection &s : sections)
            if (Folded(s.name) == Folded(Trimmed(name)))
                return &s;
        return nullptr;
    }

    void Write(std::string_view section, std::string_view key, std::string_view value) {
        std::string k(Trimmed(key));
        TSection *s = Find(section);
        if (!s) {
            sections.push_back({std::string(Trimmed(section)), {{k, std::string(value)}}});
            return;
        }
        for (auto &kv : s->keys)
            if (Folded(kv.first) == Folded(k)) {
                kv.second = value;
                return;
            }
        s->keys.emplace_back(k, value);
    }

    void Erase(std::string_view section) {
        if (TSection *s = Find(section))
            sections.erase(sections.begin() + (s - sections.data()));
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

// Every block whose section nobody touched is still there, in order, its bytes unchanged. The lines an erase
// leaves behind (comments, blank and stray lines) may follow it, and a last line without a line end gets one
// when something was written. Bytes, not lines, are compared: once an erased header no longer separates a lone
// CR from a following blank line's LF, the two read as one CR LF, with every byte still in place.
void CheckUntouched(const std::vector<TLine> &before, const std::vector<TLine> &after,
                    const std::set<std::string> &touched, bool wrote, bool erased) {
    auto untouched = [&](std::vector<TLine> lines) {
        std::vector<std::string> kept;
        for (TBlock &b : Blocks(lines))
            if (!b.name || !touched.count(Folded(*b.name)))
                kept.push_back(Joined(b.lines));
        return kept;
    };
    std::vector<TLine> expected = before;
    // Only the last line of a file can lack a line end; the first write gives it one.
    if (wrote && !expected.empty() && expected.back().end.empty())
        expected.back().end = "\r\n";
    std::vector<std::string> was = untouched(expected), is = untouched(after);
    FUZZ_CHECK(was.size() == is.size());
    for (std::size_t b = 0; b < was.size(); ++b) {
        const std::string &old = was[b], &now = is[b];
        FUZZ_CHECK(now.compare(0, old.size(), old) == 0);
        FUZZ_CHECK(erased || now.size() == old.size());
        for (const TLine &line : SplitLines(std::string_view(now).substr(old.size())))
            FUZZ_CHECK(KindOf(line.text) != EKind::Key);
    }
}

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
    TModel model(Blocks(before));
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
    std::set<std::string> touched;
    std::vector<std::string> names = sectionPool;
    bool wrote = false, erased = false;
    for (int n = 0; n < 16 && ops.remaining_bytes() > 0; ++n) {
        bool erase = ops.ConsumeIntegralInRange(0, 3) == 3;
        std::string section = MakeName(ops, sectionPool, false);
        touched.insert(Folded(Trimmed(section)));
        names.push_back(section);
        if (erase) {
            profile.EraseSection(section);
            model.Erase(section);
            erased = true;
        } else {
            std::string key = MakeName(ops, keyPool, true), value = MakeValue(ops);
            profile.WriteString(section, key, value);
            model.Write(section, key, value);
            wrote = true;
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
    // What is written must never start with a UTF-16 mark, which would make the whole file unreadable as 8-bit.
    FUZZ_CHECK(!Utf16Marked(saved));
    TProfileFile again = TProfileFile::Parse(saved);
    FUZZ_CHECK(again.Serialize() == saved);
    CheckReads(again, model, names);
    CheckUntouched(before, SplitLines(saved), touched, wrote, erased);
    return 0;
}
