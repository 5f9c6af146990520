#include "support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string turn(std::string_view number, std::string_view text)
{
    return "g012abc3_" + std::string(number) + "_000000: " + std::string(text) + "\n\n";
}

temp_dir::temp_dir()
{
    std::string pattern = (fs::temp_directory_path() / "trl_check_test_XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string temp_dir::write(const std::string& name, std::string_view content) const
{
    const fs::path p = fs::path(path_) / name;
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!f)
        throw std::runtime_error("cannot write " + p.string());
    return p.string();
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string shell_line(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& w : words) {
        line += line.empty() ? "'" : " '";
        for (const char c : w)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

run_result run_shell(const std::string& command, std::string_view in)
{
    const temp_dir dir;
    const std::string input = dir.write("in", in);
    const std::string out = dir.path() + "/out";
    const std::string err = dir.path() + "/err";
    // Standard output goes to the file unless the command sends it
    // elsewhere itself (the last redirection wins).
    const std::string line = "exec < " + shell_line({input}) + " 2> " + shell_line({err}) + "; " +
                             "exec > " + shell_line({out}) + "; " + command;
    const int rc = std::system(shell_line({"/bin/bash", "-c", line}).c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file(out), read_file(err)};
}

run_result run_trl_check(const std::vector<std::string>& args, std::string_view in)
{
    std::vector<std::string> words{TRL_CHECK_PATH};
    words.insert(words.end(), args.begin(), args.end());
    return run_shell(shell_line(words), in);
}

// JSON reading.

namespace {

[[noreturn]] void bad(const char* what, std::size_t at)
{
    throw std::runtime_error(std::string("invalid JSON: ") + what + " at byte " + std::to_string(at));
}

struct reader {
    std::string_view s;
    std::size_t at = 0;

    void blanks()
    {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\n' || s[at] == '\r'))
            ++at;
    }
    char peek()
    {
        blanks();
        if (at >= s.size())
            bad("unexpected end", at);
        return s[at];
    }
    void expect(char c)
    {
        if (peek() != c)
            bad("unexpected character", at);
        ++at;
    }
    bool literal(std::string_view word)
    {
        if (s.substr(at, word.size()) != word)
            return false;
        at += word.size();
        return true;
    }

    static void put_utf8(std::string& out, unsigned cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    unsigned hex4()
    {
        if (at + 4 > s.size())
            bad("short \\u escape", at);
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s[at++];
            v = v * 16 + (c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : (bad("bad hex digit", at), 0));
        }
        return v;
    }

    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            if (at >= s.size())
                bad("unterminated string", at);
            const auto c = static_cast<unsigned char>(s[at++]);
            if (c == '"')
                return out;
            if (c < 0x20)
                bad("control character in a string", at);
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at >= s.size())
                bad("unterminated escape", at);
            const char e = s[at++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp = hex4();
                if (cp >= 0xD800 && cp < 0xDC00) {
                    if (!literal("\\u"))
                        bad("lone surrogate", at);
                    const unsigned low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        bad("bad surrogate pair", at);
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    bad("lone surrogate", at);
                }
                put_utf8(out, cp);
                break;
            }
            default: bad("unknown escape", at);
            }
        }
    }

    json value()
    {
        json v;
        const char c = peek();
        if (c == '{') {
            v.type = json::kind::object;
            ++at;
            if (peek() == '}') {
                ++at;
                return v;
            }
            for (;;) {
                std::string key = string();
                expect(':');
                if (v.object.count(key))
                    bad("duplicate key", at);
                v.object[key] = value();
                if (peek() == ',') {
                    ++at;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.type = json::kind::array;
            ++at;
            if (peek() == ']') {
                ++at;
                return v;
            }
            for (;;) {
                v.array.push_back(value());
                if (peek() == ',') {
                    ++at;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.type = json::kind::string;
            v.string = string();
            return v;
        }
        if (literal("true")) {
            v.type = json::kind::boolean;
            v.boolean = true;
            return v;
        }
        if (literal("false")) {
            v.type = json::kind::boolean;
            return v;
        }
        if (literal("null"))
            return v;
        // A number: -? int frac? exp?
        const std::size_t start = at;
        if (s[at] == '-')
            ++at;
        auto digits = [&] {
            const std::size_t from = at;
            while (at < s.size() && s[at] >= '0' && s[at] <= '9')
                ++at;
            return at - from;
        };
        if (at < s.size() && s[at] == '0')
            ++at;
        else if (digits() == 0)
            bad("not a value", start);
        if (at < s.size() && s[at] == '.') {
            ++at;
            if (digits() == 0)
                bad("bad fraction", at);
        }
        if (at < s.size() && (s[at] == 'e' || s[at] == 'E')) {
            ++at;
            if (at < s.size() && (s[at] == '+' || s[at] == '-'))
                ++at;
            if (digits() == 0)
                bad("bad exponent", at);
        }
        v.type = json::kind::number;
        v.number = std::strtod(std::string(s.substr(start, at - start)).c_str(), nullptr);
        return v;
    }
};

// JSON text is UTF-8: every byte above 0x7F part of a well-formed sequence.
void check_utf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t len = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        if (len == 0 || i + len > s.size())
            bad("not UTF-8", i);
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                bad("not UTF-8", i);
        i += len;
    }
}

} // namespace

const json& json::operator[](const std::string& key) const
{
    static const json missing;
    const auto it = object.find(key);
    return it == object.end() ? missing : it->second;
}

json parse_json(std::string_view text)
{
    check_utf8(text);
    reader r{text};
    json v = r.value();
    r.blanks();
    if (r.at != text.size())
        bad("text after the value", r.at);
    return v;
}

std::vector<json> parse_json_lines(std::string_view text)
{
    std::vector<json> values;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t nl = text.find('\n', at);
        if (nl == std::string_view::npos)
            throw std::runtime_error("JSON Lines: the last line has no line end");
        if (nl > at)
            values.push_back(parse_json(text.substr(at, nl - at)));
        at = nl + 1;
    }
    return values;
}
