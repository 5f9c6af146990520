#include "corpus/spoken_text.h"

#include <algorithm>

namespace corpus {

namespace {

// The umlauts as two ASCII letters, by their Latin-1 code (which is also
// the code point that UTF-8 writes in two bytes).
std::string_view umlaut(unsigned char latin1)
{
    switch (latin1) {
    case 0xC4:
    case 0xE4:
        return "ae";
    case 0xD6:
    case 0xF6:
        return "oe";
    case 0xDC:
    case 0xFC:
        return "ue";
    case 0xDF:
        return "ss";
    default:
        return {};
    }
}

// The Latin-1 code of the character that UTF-8 writes as C3 and `second`
// (U+00C0 to U+00FF; 0 for a byte that cannot follow C3).
unsigned char utf8_latin1(char second)
{
    const auto b = static_cast<unsigned char>(second);
    return b >= 0x80 && b <= 0xBF ? static_cast<unsigned char>(b + 0x40) : 0;
}

bool is_ascii_alnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char small(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A word is what lies between blanks; a tag ("<ah>", "<P>2@>") is one
// even with blanks inside ("<;spricht leise>").
std::vector<std::string_view> split_words(std::string_view text)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            ++i;
        if (i == text.size())
            break;
        const std::size_t from = i;
        if (text[i] == '<') {
            const std::size_t close = text.find('>', i);
            i = close == std::string_view::npos ? text.size() : close + 1;
        }
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' && text[i] != '\r')
            ++i;
        out.push_back(text.substr(from, i - from));
    }
    return out;
}

std::string joined(const std::vector<std::string_view>& words, std::size_t from, std::size_t to)
{
    std::string s;
    for (std::size_t i = from; i < to; ++i) {
        if (!s.empty())
            s += ' ';
        s += words[i];
    }
    return s;
}

// The words that count, as written, and as compared.
struct words {
    std::vector<std::string_view> written;
    std::vector<std::string> compared;
    explicit words(std::string_view text)
    {
        for (const std::string_view w : split_words(text)) {
            std::string c = comparable(w);
            if (c.empty())
                continue;
            written.push_back(w);
            compared.push_back(std::move(c));
        }
    }
};

} // namespace

std::string comparable(std::string_view word)
{
    if (word.starts_with('<'))
        return {};
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        const auto u = static_cast<unsigned char>(c);
        if (is_ascii_alnum(c)) {
            out += small(c);
        } else if (c == '"' && i + 1 < word.size() &&
                   std::string_view("aouAOUs").find(word[i + 1]) != std::string_view::npos) {
            out += word[i + 1] == 's' ? "ss" : std::string(1, small(word[i + 1])) + "e";
            ++i;
        } else if (u == 0xC3 && i + 1 < word.size() && !umlaut(utf8_latin1(word[i + 1])).empty()) {
            out += umlaut(utf8_latin1(word[i + 1]));
            ++i;
        } else if (!umlaut(u).empty()) {
            out += umlaut(u); // Latin-1
        }
        // Anything else (punctuation, marks, other bytes) is not compared.
    }
    return out;
}

std::optional<text_difference> compare_words(std::string_view recording_text, std::string_view turn_words)
{
    const words a(recording_text), b(turn_words);
    if (a.compared == b.compared)
        return std::nullopt;
    // The words alike at both ends are left out of what is reported.
    std::size_t head = 0;
    while (head < a.compared.size() && head < b.compared.size() && a.compared[head] == b.compared[head])
        ++head;
    std::size_t tail = 0;
    while (tail < a.compared.size() - head && tail < b.compared.size() - head &&
           a.compared[a.compared.size() - 1 - tail] == b.compared[b.compared.size() - 1 - tail])
        ++tail;
    return text_difference{joined(a.written, head, a.written.size() - tail),
                           joined(b.written, head, b.written.size() - tail)};
}

} // namespace corpus
