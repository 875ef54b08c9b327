#include "base/Cp1252.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace invexa {
namespace {

// Code points of bytes 0x80..0x9F; the five undefined bytes map to the C1 control of the same value.
constexpr std::array<std::uint16_t, 32> High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::uint16_t CodePoint(unsigned char b) {
    return (b >= 0x80 && b < 0xA0) ? High[b - 0x80] : b;
}

int ByteOf(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (High[i] == cp)
            return 0x80 + i;
    return -1;
}

} // namespace

void AppendCp1252AsUtf8(std::string &out, std::string_view bytes) {
    // Written into room for the longest outcome (three bytes for one), then cut to what was written.
    std::size_t k = out.size();
    out.resize(k + 3 * bytes.size());
    char *o = out.data();
    for (unsigned char b : bytes) {
        if (b < 0x80) {
            o[k++] = static_cast<char>(b);
            continue;
        }
        std::uint16_t cp = CodePoint(b);
        if (cp < 0x800) {
            o[k++] = static_cast<char>(0xC0 | (cp >> 6));
        } else {
            o[k++] = static_cast<char>(0xE0 | (cp >> 12));
            o[k++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        o[k++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    out.resize(k);
}

namespace {

// Length of the run of ASCII at the start of s, eight bytes to a step.
std::size_t AsciiRun(const char *s, std::size_t n) {
    std::size_t i = 0;
    for (std::uint64_t word; i + 8 <= n; i += 8) {
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080u)
            break;
    }
    while (i < n && static_cast<unsigned char>(s[i]) < 0x80)
        ++i;
    return i;
}

} // namespace

bool IsAscii(std::string_view bytes) {
    return AsciiRun(bytes.data(), bytes.size()) == bytes.size();
}

char *CopyUtf8AsCp1252(char *out, std::string_view s) {
    std::size_t i = 0, n = s.size();
    while (i < n) {
        // Plain ASCII, by far the most of any text here, is copied a run at a time.
        const std::size_t run = AsciiRun(s.data() + i, n - i);
        std::memcpy(out, s.data() + i, run);
        out += run;
        i += run;
        if (i == n)
            break;
        unsigned char c = static_cast<unsigned char>(s[i]);
        int len = c >= 0xF8 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        std::uint32_t cp = len == 4 ? (c & 0x07) : len == 3 ? (c & 0x0F) : (c & 0x1F);
        bool ok = len != 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            ok = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // An overlong form would smuggle in a byte (even a zero) that no well-formed text holds there.
        constexpr std::uint32_t Shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && cp >= Shortest[len];
        int b = ok ? ByteOf(cp) : -1;
        *out++ = b < 0 ? '?' : static_cast<char>(b);
        i += ok ? len : 1;
    }
    return out;
}

void AppendUtf8AsCp1252(std::string &out, std::string_view s) {
    const std::size_t at = out.size();
    out.resize(at + s.size());
    out.resize(static_cast<std::size_t>(CopyUtf8AsCp1252(out.data() + at, s) - out.data()));
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    AppendCp1252AsUtf8(out, bytes);
    return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendUtf8AsCp1252(out, utf8);
    return out;
}

bool IsUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80                   ? 1
                          : (c >= 0xC2 && c <= 0xDF) ? 2
                          : (c >= 0xE0 && c <= 0xEF) ? 3
                          : (c >= 0xF0 && c <= 0xF4) ? 4
                                                     : 0;
        if (len == 0 || i + len > s.size())
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

std::optional<std::string> AsCp1252(std::string_view bytes) {
    if (!IsUtf8(bytes))
        return std::string(bytes);
    std::string text = Utf8ToCp1252(bytes);
    if (Cp1252ToUtf8(text) != bytes)
        return std::nullopt;
    return text;
}

namespace {

unsigned char AsciiToLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

unsigned char Cp1252ToLower(unsigned char c) {
    if (c < 0x80)
        return AsciiToLower(c);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0x8A:
        return 0x9A; // S caron
    case 0x8C:
        return 0x9C; // OE
    case 0x8E:
        return 0x9E; // Z caron
    case 0x9F:
        return 0xFF; // Y diaeresis
    default:
        return c;
    }
}

// The one folding loop, with the letters that lower decides.
std::string FoldedBy(std::string_view text, unsigned char (*lower)(unsigned char)) {
    std::string folded(text);
    for (char &c : folded)
        c = static_cast<char>(lower(static_cast<unsigned char>(c)));
    return folded;
}

} // namespace

std::string Cp1252Folded(std::string_view text) {
    return FoldedBy(text, Cp1252ToLower);
}

std::string AsciiFolded(std::string_view text) {
    return FoldedBy(text, AsciiToLower);
}

int CompareFolded(std::string_view a, std::string_view b) {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        int left = Cp1252ToLower(static_cast<unsigned char>(a[i]));
        int right = Cp1252ToLower(static_cast<unsigned char>(b[i]));
        if (left != right)
            return left < right ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace invexa

namespace invexa {

std::string Shown(std::string_view s) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    auto escape = [&](unsigned char b) {
        out += "\\x";
        out += Hex[b >> 4];
        out += Hex[b & 15];
    };
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            escape(c); // a C1 byte outside UTF-8 is a control on an 8-bit terminal
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A lead byte: a whole UTF-8 character is kept unless it is a C1 control (U+0080..U+009F).
        std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 1;
        if (len > 1 && (i + len > s.size() || !IsUtf8(s.substr(i, len))))
            len = 1;
        if (len == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0) {
            escape(c);
            escape(static_cast<unsigned char>(s[i + 1]));
        } else {
            out.append(s.substr(i, len));
        }
        i += len;
    }
    return out;
}

} // namespace invexa
