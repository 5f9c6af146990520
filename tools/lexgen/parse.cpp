// Reader for rule files in lex-like notation: definitions, %%, rules, and their patterns.
#include "tools/lexgen/lexgen.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace lexgen {

node_ptr make_set(const std::bitset<256>& set)
{
    auto n = std::make_shared<node>();
    n->kind = node::byte_set;
    n->set = set;
    return n;
}

node_ptr make_node(node::kind_type kind, std::vector<node_ptr> kids)
{
    auto n = std::make_shared<node>();
    n->kind = kind;
    n->kids = std::move(kids);
    return n;
}

std::optional<int> fixed_length(const node& n)
{
    switch (n.kind) {
    case node::byte_set:
        return 1;
    case node::empty:
        return 0;
    case node::concat: {
        int sum = 0;
        for (const auto& k : n.kids) {
            auto len = fixed_length(*k);
            if (!len)
                return std::nullopt;
            sum += *len;
        }
        return sum;
    }
    case node::alt: {
        std::optional<int> len;
        for (const auto& k : n.kids) {
            auto l = fixed_length(*k);
            if (!l || (len && *len != *l))
                return std::nullopt;
            len = l;
        }
        return len;
    }
    case node::star:
    case node::plus:
    case node::opt:
        // Repeating or omitting an empty text keeps the length at 0.
        if (auto l = fixed_length(*n.kids[0]); l && *l == 0)
            return 0;
        return std::nullopt;
    }
    return std::nullopt;
}

bool nullable(const node& n)
{
    switch (n.kind) {
    case node::byte_set:
        return false;
    case node::empty:
    case node::star:
    case node::opt:
        return true;
    case node::plus:
        return nullable(*n.kids[0]);
    case node::concat:
        return std::all_of(n.kids.begin(), n.kids.end(), [](const node_ptr& k) { return nullable(*k); });
    case node::alt:
        return std::any_of(n.kids.begin(), n.kids.end(), [](const node_ptr& k) { return nullable(*k); });
    }
    return false;
}

namespace {

std::bitset<256> single(unsigned char c)
{
    std::bitset<256> s;
    s.set(c);
    return s;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Parses one pattern starting at text[pos]; stops at unquoted white space or
// the end of the text.
class pattern_reader {
public:
    pattern_reader(std::string_view text, std::size_t pos, int line, const std::map<std::string, node_ptr>& defs)
        : s_(text), pos_(pos), line_(line), defs_(defs)
    {}

    struct parsed {
        bool line_start = false;
        node_ptr pattern;
        node_ptr tail;
        std::size_t end = 0;
    };

    // A rule pattern: optional '^', expression, optional '/' tail.
    parsed parse_rule()
    {
        parsed r;
        if (peek() == '<')
            fail("start conditions ('<...>' before a pattern) are not supported; quote a literal '<'");
        if (peek() == '^') {
            r.line_start = true;
            ++pos_;
        }
        r.pattern = parse_alt(0);
        if (peek() == '/') {
            ++pos_;
            if (at_end())
                fail("trailing context '/' without a tail");
            r.tail = parse_alt(0);
            if (peek() == '/')
                fail("more than one trailing context '/' in a rule");
        }
        finish();
        r.end = pos_;
        return r;
    }

    // A definition body: no anchors and no trailing context.
    parsed parse_definition()
    {
        parsed r;
        r.pattern = parse_alt(0);
        if (peek() == '/')
            fail("trailing context '/' is only allowed in rules");
        finish();
        r.end = pos_;
        return r;
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw rules_error(line_, what); }

    bool at_end() const { return pos_ >= s_.size() || is_blank(s_[pos_]) || s_[pos_] == '\n'; }
    int peek() const { return at_end() ? -1 : static_cast<unsigned char>(s_[pos_]); }

    void finish()
    {
        if (!at_end()) {
            switch (s_[pos_]) {
            case ')':
                fail("unbalanced ')'");
            case '$':
                fail("end-of-line anchor '$' is not supported; quote a literal '$'");
            case '^':
                fail("'^' is only allowed at the start of a rule; quote a literal '^'");
            default:
                fail(std::string("unexpected '") + s_[pos_] + "'");
            }
        }
    }

    node_ptr parse_alt(int depth)
    {
        std::vector<node_ptr> alts;
        alts.push_back(parse_concat(depth));
        while (peek() == '|') {
            ++pos_;
            alts.push_back(parse_concat(depth));
        }
        return alts.size() == 1 ? alts[0] : make_node(node::alt, std::move(alts));
    }

    node_ptr parse_concat(int depth)
    {
        std::vector<node_ptr> parts;
        for (;;) {
            int c = peek();
            if (c < 0 || c == '|' || c == '/' || c == ')')
                break;
            if (c == '$' || c == '^')
                finish(); // refuses
            parts.push_back(parse_postfix(depth));
        }
        if (parts.empty()) {
            int c = peek();
            if (c == ')')
                fail(depth > 0 ? "empty alternative" : "unbalanced ')'");
            if (c == '|')
                fail("empty alternative");
            if (c == '/')
                fail("missing pattern before '/'");
            fail("missing pattern");
        }
        return parts.size() == 1 ? parts[0] : make_node(node::concat, std::move(parts));
    }

    node_ptr parse_postfix(int depth)
    {
        node_ptr n = parse_atom(depth);
        for (;;) {
            int c = peek();
            if (c == '*')
                n = make_node(node::star, {n});
            else if (c == '+')
                n = make_node(node::plus, {n});
            else if (c == '?')
                n = make_node(node::opt, {n});
            else
                return n;
            ++pos_;
        }
    }

    node_ptr parse_atom(int depth)
    {
        int c = peek();
        switch (c) {
        case '(': {
            ++pos_;
            if (peek() == ')')
                fail("empty parentheses");
            node_ptr n = parse_alt(depth + 1);
            if (peek() == '/')
                fail("trailing context '/' inside parentheses");
            if (peek() != ')')
                fail("missing ')'");
            ++pos_;
            return n;
        }
        case '"':
            return parse_string();
        case '[':
            return parse_class();
        case '.': {
            ++pos_;
            std::bitset<256> s;
            s.set();
            s.reset('\n');
            return make_set(s);
        }
        case '{':
            return parse_reference();
        case '\\':
            ++pos_;
            return make_set(single(parse_escape()));
        case '*':
        case '+':
        case '?':
            fail(std::string("'") + static_cast<char>(c) + "' with nothing to repeat");
        case '}':
            fail("unbalanced '}'");
        case ']':
            fail("unbalanced ']'; quote a literal ']'");
        default:
            ++pos_;
            return make_set(single(static_cast<unsigned char>(c)));
        }
    }

    // After the backslash; returns the byte meant.
    unsigned char parse_escape()
    {
        if (pos_ >= s_.size() || s_[pos_] == '\n')
            fail("'\\' at the end of the line");
        char c = s_[pos_++];
        switch (c) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        case 'f':
            return '\f';
        case 'v':
            return '\v';
        case 'a':
            return '\a';
        case 'b':
            return '\b';
        case 'x': {
            int v = 0, digits = 0;
            while (digits < 2 && pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) {
                char d = s_[pos_++];
                v = v * 16 + (std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : (std::tolower(d) - 'a' + 10));
                ++digits;
            }
            if (digits == 0)
                fail("'\\x' without hexadecimal digits");
            return static_cast<unsigned char>(v);
        }
        default:
            if (c >= '0' && c <= '7') {
                int v = c - '0', digits = 1;
                while (digits < 3 && pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '7') {
                    v = v * 8 + (s_[pos_++] - '0');
                    ++digits;
                }
                if (v > 255)
                    fail("octal escape above \\377");
                return static_cast<unsigned char>(v);
            }
            return static_cast<unsigned char>(c);
        }
    }

    node_ptr parse_string()
    {
        ++pos_; // opening quote
        std::vector<node_ptr> chars;
        for (;;) {
            if (pos_ >= s_.size() || s_[pos_] == '\n')
                fail("unterminated quoted string");
            char c = s_[pos_++];
            if (c == '"')
                break;
            if (c == '\\')
                chars.push_back(make_set(single(parse_escape())));
            else
                chars.push_back(make_set(single(static_cast<unsigned char>(c))));
        }
        if (chars.empty())
            return make_node(node::empty, {});
        return chars.size() == 1 ? chars[0] : make_node(node::concat, std::move(chars));
    }

    // One class member, escapes decoded.
    unsigned char class_char()
    {
        char c = s_[pos_++];
        if (c == '\\')
            return parse_escape();
        return static_cast<unsigned char>(c);
    }

    node_ptr parse_class()
    {
        ++pos_; // '['
        bool negate = false;
        if (pos_ < s_.size() && s_[pos_] == '^') {
            negate = true;
            ++pos_;
        }
        std::bitset<256> set;
        bool first = true;
        for (;;) {
            if (pos_ >= s_.size() || s_[pos_] == '\n')
                fail("unterminated character class");
            if (s_[pos_] == ']' && !first)
                break;
            if (s_[pos_] == '[' && pos_ + 1 < s_.size() && s_[pos_ + 1] == ':') {
                std::size_t close = s_.find(":]", pos_ + 2);
                std::size_t nl = s_.find('\n', pos_);
                if (close != std::string_view::npos && close < nl)
                    fail("named character classes '[:...:]' are not supported");
            }
            first = false;
            unsigned char lo = class_char();
            if (pos_ + 1 < s_.size() && s_[pos_] == '-' && s_[pos_ + 1] != ']' && s_[pos_ + 1] != '\n') {
                ++pos_;
                unsigned char hi = class_char();
                if (hi < lo)
                    fail("reversed range in character class");
                for (int b = lo; b <= hi; ++b)
                    set.set(b);
            } else {
                set.set(lo);
            }
        }
        ++pos_; // ']'
        if (negate)
            set.flip();
        if (set.none())
            fail("character class matches nothing");
        return make_set(set);
    }

    node_ptr parse_reference()
    {
        ++pos_; // '{'
        std::size_t start = pos_;
        if (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_])))
            fail("repetition counts '{n,m}' are not supported");
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
            ++pos_;
        if (pos_ >= s_.size() || s_[pos_] != '}' || pos_ == start)
            fail("malformed definition reference; expected '{NAME}'");
        std::string name(s_.substr(start, pos_ - start));
        ++pos_;
        auto it = defs_.find(name);
        if (it == defs_.end())
            fail("undefined definition '" + name + "'");
        return it->second;
    }

    std::string_view s_;
    std::size_t pos_;
    int line_;
    const std::map<std::string, node_ptr>& defs_;
};

// The rule file cut into lines; offsets let the action reader cross lines.
struct line_index {
    std::string_view text;
    std::vector<std::size_t> start; // offset of each line

    explicit line_index(std::string_view t) : text(t)
    {
        start.push_back(0);
        for (std::size_t i = 0; i < t.size(); ++i)
            if (t[i] == '\n' && i + 1 < t.size())
                start.push_back(i + 1);
        if (t.empty())
            start.clear();
    }
    std::size_t count() const { return start.size(); }
    std::string_view line(std::size_t i) const
    {
        std::size_t b = start[i];
        std::size_t e = text.find('\n', b);
        if (e == std::string_view::npos)
            e = text.size();
        std::string_view l = text.substr(b, e - b);
        if (!l.empty() && l.back() == '\r')
            l.remove_suffix(1);
        return l;
    }
    // Line index (0-based) of a text offset.
    std::size_t line_of(std::size_t offset) const
    {
        return static_cast<std::size_t>(std::upper_bound(start.begin(), start.end(), offset) - start.begin()) - 1;
    }
};

bool is_marker(std::string_view line, std::string_view marker)
{
    while (!line.empty() && is_blank(line.back()))
        line.remove_suffix(1);
    return line == marker;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (is_blank(s.front()) || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (is_blank(s.back()) || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

class rule_file_reader {
public:
    rule_file_reader(std::string_view text, const std::string& file) : lines_(text) { set_.file_name = file; }

    rule_set run()
    {
        definitions();
        rules();
        if (set_.rules.empty())
            fail(static_cast<int>(lines_.count()), "no rules");
        for (const rule_info& r : set_.rules)
            if (r.token == "byte" && set_.nul_token.empty())
                fail(r.line, "'=> byte' needs '%nul_token NAME' among the definitions: the code of a NUL byte");
        return std::move(set_);
    }

private:
    [[noreturn]] void fail(int line, const std::string& what) const { throw rules_error(line, what); }

    // Skips an indented comment starting at line i; returns false if line i
    // is indented text that is not a comment.
    bool skip_comment(std::size_t& i)
    {
        std::string_view l = trim(lines_.line(i));
        if (l.substr(0, 2) == "//")
            return true;
        if (l.substr(0, 2) != "/*")
            return false;
        std::size_t from = lines_.start[i] + lines_.line(i).find("/*") + 2;
        std::size_t close = lines_.text.find("*/", from);
        if (close == std::string_view::npos)
            fail(static_cast<int>(i + 1), "unterminated comment");
        std::size_t last = lines_.line_of(close);
        std::string_view rest = lines_.text.substr(close + 2);
        rest = rest.substr(0, rest.find('\n'));
        if (!trim(rest).empty())
            fail(static_cast<int>(last + 1), "text after a comment");
        i = last;
        return true;
    }

    void definitions()
    {
        for (; i_ < lines_.count(); ++i_) {
            std::string_view l = lines_.line(i_);
            int line = static_cast<int>(i_ + 1);
            if (is_marker(l, "%%")) {
                ++i_;
                return;
            }
            if (trim(l).empty())
                continue;
            if (is_marker(l, "%{")) {
                std::size_t j = i_ + 1;
                while (j < lines_.count() && !is_marker(lines_.line(j), "%}"))
                    ++j;
                if (j >= lines_.count())
                    fail(line, "'%{' without '%}'");
                set_.prologue_line = static_cast<int>(i_ + 2);
                for (std::size_t k = i_ + 1; k < j; ++k) {
                    set_.prologue += lines_.line(k);
                    set_.prologue += '\n';
                }
                i_ = j;
                continue;
            }
            if (is_blank(l.front())) {
                if (!skip_comment(i_))
                    fail(line, "indented text in the definitions section");
                continue;
            }
            if (l.front() == '%') {
                directive(l, line);
                continue;
            }
            std::size_t n = 0;
            if (!(std::isalpha(static_cast<unsigned char>(l[0])) || l[0] == '_'))
                fail(line, "expected a definition 'NAME pattern'");
            while (n < l.size() && (std::isalnum(static_cast<unsigned char>(l[n])) || l[n] == '_'))
                ++n;
            std::string name(l.substr(0, n));
            if (n >= l.size() || !is_blank(l[n]))
                fail(line, "expected a definition 'NAME pattern'");
            while (n < l.size() && is_blank(l[n]))
                ++n;
            if (n >= l.size())
                fail(line, "definition '" + name + "' has no pattern");
            if (set_.definitions.count(name))
                fail(line, "definition '" + name + "' given twice");
            pattern_reader p(l, n, line, set_.definitions);
            auto r = p.parse_definition();
            if (!trim(l.substr(r.end)).empty())
                fail(line, "text after the pattern of definition '" + name + "'");
            set_.definitions[name] = r.pattern;
        }
        fail(static_cast<int>(lines_.count()), "missing '%%' before the rules");
    }

    // "%nul_token NAME": the code of a NUL byte that a "=> byte" rule
    // matches (its code cannot be 0, the end of the input).
    void directive(std::string_view l, int line)
    {
        const std::string_view name = l.substr(0, l.find_first_of(" \t"));
        if (name != "%nul_token")
            fail(line, "unsupported directive '" + std::string(name) + "'");
        std::string_view rest = trim(l.substr(name.size()));
        if (rest.empty() || std::isdigit(static_cast<unsigned char>(rest[0])) ||
            !std::all_of(rest.begin(), rest.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }))
            fail(line, "a token name must follow '%nul_token'");
        if (!set_.nul_token.empty())
            fail(line, "'%nul_token' given twice");
        set_.nul_token = std::string(rest);
    }

    void rules()
    {
        for (; i_ < lines_.count(); ++i_) {
            std::string_view l = lines_.line(i_);
            int line = static_cast<int>(i_ + 1);
            if (is_marker(l, "%%"))
                return; // the rest is an epilogue, not used
            if (trim(l).empty())
                continue;
            if (is_blank(l.front())) {
                if (!skip_comment(i_))
                    fail(line, "indented text in the rules section");
                continue;
            }
            rule(line);
        }
    }

    void rule(int line)
    {
        const std::string_view text = lines_.text;
        const std::size_t begin = lines_.start[i_];
        if (set_.rules.size() >= 255)
            fail(line, "more than 255 rules");
        pattern_reader p(text, begin, line, set_.definitions);
        auto r = p.parse_rule();
        rule_info rule;
        rule.number = static_cast<int>(set_.rules.size()) + 1;
        rule.line = line;
        rule.line_start = r.line_start;
        rule.pattern = r.pattern;
        rule.tail = r.tail;
        if (nullable(*rule.pattern))
            fail(line, "the pattern matches the empty text");
        if (rule.tail) {
            auto len = fixed_length(*rule.tail);
            if (!len)
                fail(line, "trailing context must have a fixed length");
            if (*len > 255)
                fail(line, "trailing context longer than 255 bytes");
            rule.tail_length = *len;
        }
        // The action: "=> NAME" or "=> NAME value" on the rule's line, or a
        // braced block of code that may continue over lines.
        std::size_t pos = r.end;
        while (pos < text.size() && is_blank(text[pos]))
            ++pos;
        if (pos >= text.size() || text[pos] == '\n')
            fail(line, "missing action");
        if (text.substr(pos, 2) == "=>") {
            std::size_t eol = text.find('\n', pos);
            if (eol == std::string_view::npos)
                eol = text.size();
            token_action(rule, text.substr(pos + 2, eol - pos - 2), line);
            set_.rules.push_back(std::move(rule));
            return;
        }
        if (text[pos] != '{')
            fail(line, "the action must be '=> TOKEN', '=> TOKEN value' or a '{ ... }' block");
        std::size_t close = action_end(pos, line);
        rule.action = std::string(trim(text.substr(pos + 1, close - pos - 1)));
        rule.action_line = line;
        std::size_t eol = text.find('\n', close);
        if (eol == std::string_view::npos)
            eol = text.size();
        std::string_view after = trim(text.substr(close + 1, eol - close - 1));
        std::size_t last = lines_.line_of(close);
        if (!after.empty() && after.substr(0, 2) != "//")
            fail(static_cast<int>(last + 1), "text after the action");
        i_ = last;
        set_.rules.push_back(std::move(rule));
    }

    // "NAME" or "NAME value" after "=>", a comment allowed after it.
    void token_action(rule_info& rule, std::string_view rest, int line) const
    {
        if (std::size_t comment = rest.find("//"); comment != std::string_view::npos)
            rest = rest.substr(0, comment);
        rest = trim(rest);
        std::size_t end = 0;
        while (end < rest.size() && (std::isalnum(static_cast<unsigned char>(rest[end])) || rest[end] == '_'))
            ++end;
        if (end == 0 || std::isdigit(static_cast<unsigned char>(rest[0])))
            fail(line, "a token name must follow '=>'");
        rule.token = std::string(rest.substr(0, end));
        std::string_view more = trim(rest.substr(end));
        if (more == "value")
            rule.sets_value = true;
        else if (!more.empty())
            fail(line, "only 'value' may follow the token name");
    }

    // Offset of the brace that closes the action opened at text[open].
    std::size_t action_end(std::size_t open, int line) const
    {
        const std::string_view t = lines_.text;
        int depth = 0;
        for (std::size_t p = open; p < t.size(); ++p) {
            char c = t[p];
            if (c == '"' || c == '\'') {
                for (++p; p < t.size() && t[p] != c; ++p)
                    if (t[p] == '\\')
                        ++p;
                    else if (t[p] == '\n')
                        break;
                if (p >= t.size() || t[p] != c)
                    fail(static_cast<int>(lines_.line_of(std::min(p, t.size() - 1)) + 1),
                         "unterminated literal in an action");
            } else if (c == '/' && p + 1 < t.size() && t[p + 1] == '/') {
                p = t.find('\n', p);
                if (p == std::string_view::npos)
                    break;
            } else if (c == '/' && p + 1 < t.size() && t[p + 1] == '*') {
                p = t.find("*/", p + 2);
                if (p == std::string_view::npos)
                    break;
                ++p;
            } else if (c == '{') {
                ++depth;
            } else if (c == '}') {
                if (--depth == 0)
                    return p;
            } else if (c == '\n' && p + 2 < t.size() && t[p + 1] == '%' && t[p + 2] == '%') {
                break; // ran into the end of the rules
            }
        }
        fail(line, "unterminated action (unbalanced '{')");
    }

    line_index lines_;
    std::size_t i_ = 0;
    rule_set set_;
};

} // namespace

rule_set read_rules(std::string_view text, const std::string& file_name)
{
    rule_file_reader p(text, file_name);
    return p.run();
}

} // namespace lexgen
