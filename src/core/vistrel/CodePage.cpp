#include "vistrel/CodePage.hpp"

#include "util/TextCodec.hpp"

#include <cstdint>
#include <unordered_map>

namespace orvane::vistrel {

namespace {

/// One decoded character: its code point and the number of bytes it took;
/// length 0 marks a byte that does not start well-formed UTF-8.
struct Decoded {
    char32_t codePoint = 0;
    std::size_t length = 0;
};

Decoded DecodeAt(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) { length = 2; cp = lead & 0x1Fu; }
    else if ((lead & 0xF0) == 0xE0) { length = 3; cp = lead & 0x0Fu; }
    else if ((lead & 0xF8) == 0xF0) { length = 4; cp = lead & 0x07u; }
    else return {};
    if (i + length > text.size()) return {};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (next & 0x3Fu);
    }
    const bool overlong = (length == 2 && cp < 0x80) || (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
    return {cp, length};
}

/// Code point -> byte for the upper half of the code page, built once from
/// the converter of util/TextCodec.
const std::unordered_map<char32_t, char>& UpperHalf()
{
    static const std::unordered_map<char32_t, char> table = [] {
        std::unordered_map<char32_t, char> t;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char byte = static_cast<char>(b);
            const auto utf8 = Cp1251ToUtf8(std::string_view(&byte, 1));
            if (!utf8 || utf8->empty()) continue; // a hole in the code page
            const Decoded d = DecodeAt(*utf8, 0);
            if (d.length == utf8->size()) t.emplace(d.codePoint, byte);
        }
        return t;
    }();
    return table;
}

/// Walks the text and calls keep(byte, utf8) for each character the code
/// page holds, replace() for everything else.
template <class Keep, class Replace>
void Walk(std::string_view utf8, Keep keep, Replace replace)
{
    const auto& upper = UpperHalf();
    std::size_t i = 0;
    while (i < utf8.size()) {
        const Decoded d = DecodeAt(utf8, i);
        if (d.length == 0) {
            replace();
            ++i;
            continue;
        }
        const std::string_view character = utf8.substr(i, d.length);
        if (d.codePoint < 0x80) {
            keep(static_cast<char>(d.codePoint), character);
        } else if (const auto it = upper.find(d.codePoint); it != upper.end()) {
            keep(it->second, character);
        } else {
            replace();
        }
        i += d.length;
    }
}

} // namespace

std::string ToCodePage(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    Walk(utf8, [&](char byte, std::string_view) { out += byte; }, [&] { out += '?'; });
    return out;
}

std::string FitToCodePage(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    Walk(utf8, [&](char, std::string_view character) { out += character; }, [&] { out += '?'; });
    return out;
}

} // namespace orvane::vistrel
