// A strict little JSON reader for the tests: objects, arrays, strings with
// every escape, integers, true, false, null.  Anything else, trailing text
// included, throws.
#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace json {

struct Value {
    enum Type { null, boolean, integer, string, array, object } type = null;
    bool b = false;
    long long n = 0;
    std::string s;
    std::vector<Value> items;
    std::map<std::string, Value> members;

    const Value& operator[](const std::string& key) const
    {
        const auto it = members.find(key);
        if (type != object || it == members.end())
            throw std::runtime_error("no member " + key);
        return it->second;
    }
};

class Reader {
public:
    explicit Reader(std::string_view text) : t_(text) {}

    Value document()
    {
        Value v = value();
        space();
        if (i_ != t_.size())
            fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error(what + " at offset " + std::to_string(i_));
    }
    void space()
    {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'))
            ++i_;
    }
    char peek()
    {
        space();
        if (i_ == t_.size())
            fail("unexpected end");
        return t_[i_];
    }
    void expect(char c)
    {
        if (peek() != c)
            fail(std::string("expected ") + c);
        ++i_;
    }
    bool word(std::string_view w)
    {
        if (t_.substr(i_, w.size()) != w)
            return false;
        i_ += w.size();
        return true;
    }

    Value value()
    {
        Value v;
        const char c = peek();
        if (c == '{') {
            v.type = Value::object;
            ++i_;
            if (peek() == '}') {
                ++i_;
                return v;
            }
            do {
                if (peek() != '"')
                    fail("expected a key");
                std::string key = str();
                expect(':');
                if (!v.members.emplace(key, value()).second)
                    fail("duplicate key " + key);
            } while (peek() == ',' && ++i_);
            expect('}');
        } else if (c == '[') {
            v.type = Value::array;
            ++i_;
            if (peek() == ']') {
                ++i_;
                return v;
            }
            do
                v.items.push_back(value());
            while (peek() == ',' && ++i_);
            expect(']');
        } else if (c == '"') {
            v.type = Value::string;
            v.s = str();
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            v.type = Value::integer;
            const std::size_t start = i_;
            if (t_[i_] == '-')
                ++i_;
            while (i_ < t_.size() && t_[i_] >= '0' && t_[i_] <= '9')
                ++i_;
            if (i_ == start + (t_[start] == '-') || (i_ < t_.size() && (t_[i_] == '.' || t_[i_] == 'e')))
                fail("not an integer");
            v.n = std::stoll(std::string(t_.substr(start, i_ - start)));
        } else if (word("true")) {
            v.type = Value::boolean;
            v.b = true;
        } else if (word("false")) {
            v.type = Value::boolean;
        } else if (!word("null")) {
            fail("no value");
        }
        return v;
    }

    std::string str()
    {
        ++i_;  // the opening quote
        std::string s;
        for (;;) {
            if (i_ == t_.size())
                fail("unterminated string");
            const auto c = static_cast<unsigned char>(t_[i_++]);
            if (c == '"')
                return s;
            if (c < 0x20)
                fail("raw control character in a string");
            if (c != '\\') {
                s += static_cast<char>(c);
                continue;
            }
            if (i_ == t_.size())
                fail("unterminated escape");
            const char e = t_[i_++];
            switch (e) {
            case '"': case '\\': case '/': s += e; break;
            case 'b': s += '\b'; break;
            case 'f': s += '\f'; break;
            case 'n': s += '\n'; break;
            case 'r': s += '\r'; break;
            case 't': s += '\t'; break;
            case 'u': utf8(s, hex4()); break;
            default: fail("unknown escape");
            }
        }
    }
    unsigned hex4()
    {
        if (i_ + 4 > t_.size())
            fail("short \\u escape");
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = t_[i_++];
            const int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
            if (d < 0)
                fail("bad hex digit");
            v = v * 16 + static_cast<unsigned>(d);
        }
        return v;
    }
    static void utf8(std::string& s, unsigned cp)
    {
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xc0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            s += static_cast<char>(0xe0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            s += static_cast<char>(0x80 | (cp & 0x3f));
        }
    }

    std::string_view t_;
    std::size_t i_ = 0;
};

inline Value parse(std::string_view text)
{
    return Reader(text).document();
}

}  // namespace json
