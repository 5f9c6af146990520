// A strict little JSON reader for the tests: objects, arrays, strings with
// every escape (\u up to U+FFFF), integers and null, which is all that
// quenda-info writes.  Anything else, trailing text included, throws.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace json {

struct Value {
    enum Type { null, integer, string, array, object } type = null;
    long long n = 0;
    std::string s;
    std::vector<Value> items;
    std::map<std::string, Value> members;

    bool operator==(const Value&) const = default;
    const Value& operator[](const std::string& key) const { return members.at(key); }
};

class Reader {
public:
    explicit Reader(std::string_view t) : t_(t) {}

    Value document()
    {
        Value v = value();
        if (peek() != '\0')
            fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const char* what) const
    {
        throw std::runtime_error(std::string(what) + " at offset " + std::to_string(i_));
    }
    char peek()  // the next character after white space, NUL at the end
    {
        while (i_ < t_.size() && std::string_view(" \t\r\n").find(t_[i_]) != std::string_view::npos)
            ++i_;
        return i_ < t_.size() ? t_[i_] : '\0';
    }
    char next()
    {
        if (i_ == t_.size())
            fail("unexpected end");
        return t_[i_++];
    }
    void expect(char c)
    {
        if (peek() != c)
            fail("unexpected character");
        ++i_;
    }
    bool word(std::string_view w)
    {
        return t_.substr(i_, w.size()) == w && (i_ += w.size());
    }
    // Items of an array or members of an object up to `close`.
    template <class Item>
    void list(char close, Item item)
    {
        ++i_;
        if (peek() == close) {
            ++i_;
            return;
        }
        do
            item();
        while (peek() == ',' && ++i_);
        expect(close);
    }

    Value value()
    {
        Value v;
        const char c = peek();
        if (c == '{') {
            v.type = Value::object;
            list('}', [&] {
                if (peek() != '"')
                    fail("expected a key");
                std::string key = str();
                expect(':');
                if (!v.members.emplace(key, value()).second)
                    fail("duplicate key");
            });
        } else if (c == '[') {
            v.type = Value::array;
            list(']', [&] { v.items.push_back(value()); });
        } else if (c == '"') {
            v.type = Value::string;
            v.s = str();
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            v.type = Value::integer;
            std::size_t used = 0;
            v.n = std::stoll(std::string(t_.substr(i_, 20)), &used);
            i_ += used;
            if (i_ < t_.size() && std::string_view(".eE").find(t_[i_]) != std::string_view::npos)
                fail("not an integer");
        } else if (!word("null")) {
            fail("no value");
        }
        return v;
    }

    std::string str()
    {
        ++i_;
        std::string s;
        for (char c; (c = next()) != '"';) {
            if (static_cast<unsigned char>(c) < 0x20)
                fail("raw control character in a string");
            if (c != '\\') {
                s += c;
                continue;
            }
            const char e = next();
            const std::size_t simple = std::string_view("\"\\/bfnrt").find(e);
            if (simple != std::string_view::npos) {
                s += "\"\\/\b\f\n\r\t"[simple];
            } else if (e == 'u') {
                const std::string_view hex = t_.substr(i_, 4);
                if (hex.size() != 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
                    fail("bad \\u escape");
                const unsigned cp = std::stoul(std::string(hex), nullptr, 16);
                i_ += 4;
                if (cp < 0x80) {
                    s += static_cast<char>(cp);
                } else if (cp < 0x800) {
                    s += {static_cast<char>(0xc0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3f))};
                } else {
                    s += {static_cast<char>(0xe0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3f)),
                          static_cast<char>(0x80 | (cp & 0x3f))};
                }
            } else {
                fail("unknown escape");
            }
        }
        return s;
    }

    std::string_view t_;
    std::size_t i_ = 0;
};

inline Value parse(std::string_view text)
{
    return Reader(text).document();
}

}  // namespace json
