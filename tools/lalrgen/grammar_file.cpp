// Reader for grammars in yacc notation: declarations, %%, rules, %%, epilogue.
#include <algorithm>
#include <cctype>
#include <map>
#include <deque>

#include "tools/lalrgen/lalrgen.h"

namespace lalrgen {
namespace {

enum class tok { ident, literal, string, number, colon, bar, semi, action, directive, mark, prologue, end };

struct token {
    tok kind = tok::end;
    std::string text; // identifier, literal as written, directive name, action/prologue body
    long value = 0;   // number, or the literal's character code
    int line = 0;
};

[[noreturn]] void fail(int line, const std::string& msg)
{
    throw grammar_error(line, msg);
}

// Codes index the generated translate table, so they are kept small.
constexpr int max_token_code = 65535;

struct lexer {
    std::string_view s;
    std::size_t pos = 0;
    int line = 1;

    bool at_end() const { return pos >= s.size(); }
    char peek(std::size_t k = 0) const { return pos + k < s.size() ? s[pos + k] : '\0'; }
    char get()
    {
        char c = s[pos++];
        if (c == '\n')
            ++line;
        return c;
    }

    void skip_comment_block(int start_line)
    {
        pos += 2;
        while (!(peek() == '*' && peek(1) == '/')) {
            if (at_end())
                fail(start_line, "unterminated comment");
            get();
        }
        pos += 2;
    }

    void skip_blanks()
    {
        for (;;) {
            if (at_end())
                return;
            char c = peek();
            if (c == '/' && peek(1) == '*') {
                skip_comment_block(line);
            } else if (c == '/' && peek(1) == '/') {
                while (!at_end() && peek() != '\n')
                    get();
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                get();
            } else {
                return;
            }
        }
    }

    // Skips a quoted string or char literal inside code, copying nothing.
    void skip_quoted(char q)
    {
        int start = line;
        get();
        for (;;) {
            if (at_end() || peek() == '\n')
                fail(start, "unterminated string or character in action");
            char c = get();
            if (c == '\\') {
                if (at_end())
                    fail(start, "unterminated string or character in action");
                get();
            } else if (c == q) {
                return;
            }
        }
    }

    // Reads the body of { ... } (the opening brace is at pos) with nested
    // braces, skipping strings, characters and comments.
    std::string read_braces()
    {
        int start = line;
        get();
        std::size_t begin = pos;
        int depth = 1;
        for (;;) {
            if (at_end())
                fail(start, "unterminated action");
            char c = peek();
            if (c == '"' || c == '\'') {
                skip_quoted(c);
            } else if (c == '/' && peek(1) == '*') {
                skip_comment_block(line);
            } else if (c == '/' && peek(1) == '/') {
                while (!at_end() && peek() != '\n')
                    get();
            } else {
                get();
                if (c == '{')
                    ++depth;
                if (c == '}' && --depth == 0)
                    return std::string(s.substr(begin, pos - 1 - begin));
            }
        }
    }

    token read_literal()
    {
        token t{tok::literal, {}, 0, line};
        std::size_t begin = pos;
        get();
        if (at_end() || peek() == '\n' || peek() == '\'')
            fail(t.line, "invalid character literal");
        char c = get();
        long v = static_cast<unsigned char>(c);
        if (c == '\\') {
            if (at_end() || peek() == '\n')
                fail(t.line, "invalid character literal");
            char e = get();
            switch (e) {
            case 'n':
                v = '\n';
                break;
            case 't':
                v = '\t';
                break;
            case 'r':
                v = '\r';
                break;
            case 'f':
                v = '\f';
                break;
            case 'v':
                v = '\v';
                break;
            case 'b':
                v = '\b';
                break;
            case 'a':
                v = '\a';
                break;
            case '\\':
            case '\'':
            case '"':
            case '?':
                v = static_cast<unsigned char>(e);
                break;
            case 'x': {
                v = 0;
                int digits = 0;
                while (std::isxdigit(static_cast<unsigned char>(peek()))) {
                    char h = get();
                    v = v * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : std::tolower(h) - 'a' + 10);
                    if (++digits > 2)
                        fail(t.line, "invalid character literal");
                }
                if (digits == 0)
                    fail(t.line, "invalid character literal");
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    v = e - '0';
                    for (int k = 0; k < 2 && peek() >= '0' && peek() <= '7'; ++k)
                        v = v * 8 + (get() - '0');
                    if (v > 255)
                        fail(t.line, "invalid character literal");
                } else {
                    fail(t.line, "invalid escape in character literal");
                }
            }
        }
        if (peek() != '\'')
            fail(t.line, "invalid character literal");
        get();
        if (v == 0)
            fail(t.line, "character literal with code 0");
        t.text = std::string(s.substr(begin, pos - begin));
        t.value = v;
        return t;
    }

    token next()
    {
        skip_blanks();
        token t;
        t.line = line;
        if (at_end())
            return t;
        char c = peek();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t begin = pos;
            while (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_' || peek() == '.')
                get();
            t.kind = tok::ident;
            t.text = std::string(s.substr(begin, pos - begin));
            return t;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            long v = 0;
            while (std::isdigit(static_cast<unsigned char>(peek()))) {
                v = v * 10 + (get() - '0');
                if (v > 1000000000)
                    fail(t.line, "number too large");
            }
            t.kind = tok::number;
            t.value = v;
            return t;
        }
        switch (c) {
        case '\'':
            return read_literal();
        case '"': {
            // A description: "text" on one line, with \" and \\ escaped.
            get();
            t.kind = tok::string;
            for (;;) {
                if (at_end() || peek() == '\n')
                    fail(t.line, "unterminated string");
                char ch = get();
                if (ch == '"')
                    return t;
                if (ch == '\\') {
                    if (at_end() || peek() == '\n')
                        fail(t.line, "unterminated string");
                    ch = get();
                }
                t.text += ch;
            }
        }
        case ':':
            get();
            t.kind = tok::colon;
            return t;
        case '|':
            get();
            t.kind = tok::bar;
            return t;
        case ';':
            get();
            t.kind = tok::semi;
            return t;
        case '{':
            t.kind = tok::action;
            t.text = read_braces();
            return t;
        case '%': {
            if (peek(1) == '%') {
                pos += 2;
                t.kind = tok::mark;
                return t;
            }
            if (peek(1) == '{') {
                pos += 2;
                if (s.find("%}", pos) == std::string_view::npos)
                    fail(t.line, "unterminated %{ ... %} block");
                if (peek() == '\n')
                    get();
                t.kind = tok::prologue;
                t.line = line;
                std::size_t begin = pos;
                std::size_t close = s.find("%}", pos);
                while (pos < close)
                    get();
                pos += 2;
                t.text = std::string(s.substr(begin, close - begin));
                return t;
            }
            get();
            std::size_t begin = pos;
            while (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_' || peek() == '-')
                get();
            t.kind = tok::directive;
            t.text = std::string(s.substr(begin, pos - begin));
            if (t.text.empty())
                fail(t.line, "stray '%'");
            return t;
        }
        default:
            fail(t.line, std::string("unexpected character '") + c + "'");
        }
    }
};

enum class kind { unknown, token, nonterminal };

struct sym_entry {
    std::string name;
    kind k = kind::unknown;
    int code = -1;           // tokens
    int order = -1;          // tokens: declaration order; nonterminals: definition order
    int line = 0;            // first seen
    int use_line = 0;        // first use in a right side
    std::string description; // in words, from %token or %describe
};

struct alt_item {
    bool is_action = false;
    int sym = -1; // entry index
    std::string code;
    int line = 0;
};

struct raw_rule {
    int lhs; // entry index
    std::vector<int> rhs;
    int line;
    bool has_action = false;
    std::string action;
    int action_line = 0;
};

struct reader {
    lexer lx;
    std::string file_name;
    std::vector<sym_entry> syms;
    std::map<std::string, int> by_name;
    int token_order = 0, nonterminal_order = 0, midrule_count = 0;
    std::vector<raw_rule> rules;
    std::deque<token> ahead; // tokens read ahead, in order
    grammar g;
    int start_entry = -1, start_line = 0;

    token next()
    {
        if (ahead.empty())
            return lx.next();
        token t = std::move(ahead.front());
        ahead.pop_front();
        return t;
    }
    const token& peek()
    {
        if (ahead.empty())
            ahead.push_back(lx.next());
        return ahead.front();
    }

    int entry(const std::string& name, int line)
    {
        auto it = by_name.find(name);
        if (it != by_name.end())
            return it->second;
        syms.push_back(sym_entry{name, kind::unknown, -1, -1, line, 0, {}});
        by_name[name] = static_cast<int>(syms.size()) - 1;
        return static_cast<int>(syms.size()) - 1;
    }

    void make_token(int e, int code, int line)
    {
        sym_entry& s = syms[e];
        if (s.k == kind::nonterminal)
            fail(line, "'" + s.name + "' is a nonterminal and cannot be declared a token");
        if (s.k == kind::token) {
            if (code >= 0 && s.code >= 0 && s.code != code)
                fail(line, "token '" + s.name + "' redeclared with another number");
            if (code >= 0)
                s.code = code;
            return;
        }
        s.k = kind::token;
        s.code = code;
        s.order = token_order++;
    }

    void describe(int e, const token& text)
    {
        if (!syms[e].description.empty())
            fail(text.line, "'" + syms[e].name + "' is described twice");
        if (text.text.empty())
            fail(text.line, "empty description");
        syms[e].description = text.text;
    }

    void make_nonterminal(int e, int line)
    {
        sym_entry& s = syms[e];
        if (s.k == kind::token)
            fail(line, "rule given for '" + s.name + "', which is a token");
        if (s.k == kind::unknown) {
            s.k = kind::nonterminal;
            s.order = nonterminal_order++;
        }
    }

    void declarations()
    {
        for (;;) {
            token t = next();
            switch (t.kind) {
            case tok::end:
                fail(t.line, "missing %% before the rules");
            case tok::mark:
                return;
            case tok::prologue:
                g.prologue += t.text;
                if (g.prologue_line == 0)
                    g.prologue_line = t.line;
                break;
            case tok::directive:
                if (t.text == "token") {
                    int count = 0;
                    while (peek().kind == tok::ident) {
                        token name = next();
                        int code = -1;
                        if (peek().kind == tok::number)
                            code = static_cast<int>(next().value);
                        if (code == 0 || code == 256 || code == 257)
                            fail(name.line, "token code " + std::to_string(code) + " is reserved");
                        if (code > max_token_code)
                            fail(name.line, "token code " + std::to_string(code) + " is too large");
                        if (name.text == "error")
                            fail(name.line, "'error' cannot be redeclared");
                        const int e = entry(name.text, name.line);
                        make_token(e, code, name.line);
                        if (peek().kind == tok::string)
                            describe(e, next());
                        ++count;
                    }
                    if (peek().kind == tok::literal)
                        fail(peek().line, "character literals need no %token declaration");
                    if (count == 0)
                        fail(t.line, "%token needs at least one name");
                } else if (t.text == "start") {
                    token name = next();
                    if (name.kind != tok::ident)
                        fail(name.line, "%start needs a symbol name");
                    if (start_entry >= 0)
                        fail(name.line, "%start given twice");
                    start_entry = entry(name.text, name.line);
                    start_line = name.line;
                } else if (t.text == "describe") {
                    token name = next();
                    if (name.kind != tok::ident && name.kind != tok::literal)
                        fail(name.line, "%describe needs a symbol and a string");
                    if (peek().kind != tok::string)
                        fail(name.line, "%describe needs a symbol and a string");
                    const int e = name.kind == tok::literal ? rule_symbol(name) : entry(name.text, name.line);
                    describe(e, next());
                } else if (t.text == "expect") {
                    token n = next();
                    if (n.kind != tok::number)
                        fail(n.line, "%expect needs a number");
                    g.expect = static_cast<int>(n.value);
                } else {
                    fail(t.line, "unknown or unsupported directive %" + t.text);
                }
                break;
            default:
                fail(t.line, "unexpected text in the declarations");
            }
        }
    }

    static std::string substitute(const std::string& code, int line, int before, int limit)
    {
        // before: number of right-side symbols before the action; $n becomes
        // vsp[n - before].value, vsp being the stack entry of the last of them.
        std::string out;
        out.reserve(code.size() + 16);
        std::size_t i = 0;
        auto copy_quoted = [&](char q) {
            out += code[i++];
            while (i < code.size()) {
                char c = code[i++];
                out += c;
                if (c == '\\' && i < code.size())
                    out += code[i++];
                else if (c == q)
                    break;
            }
        };
        while (i < code.size()) {
            char c = code[i];
            if (c == '\n')
                ++line;
            if (c == '"' || c == '\'') {
                copy_quoted(c);
            } else if (c == '/' && i + 1 < code.size() && code[i + 1] == '*') {
                std::size_t e = code.find("*/", i + 2);
                e = (e == std::string::npos) ? code.size() : e + 2;
                line += static_cast<int>(
                    std::count(code.begin() + static_cast<long>(i), code.begin() + static_cast<long>(e), '\n'));
                out.append(code, i, e - i);
                i = e;
            } else if (c == '/' && i + 1 < code.size() && code[i + 1] == '/') {
                std::size_t e = code.find('\n', i);
                if (e == std::string::npos)
                    e = code.size();
                out.append(code, i, e - i);
                i = e;
            } else if (c == '$') {
                char d = i + 1 < code.size() ? code[i + 1] : '\0';
                if (d == '$') {
                    out += "yyval";
                    i += 2;
                } else if (std::isdigit(static_cast<unsigned char>(d)) ||
                           (d == '-' && i + 2 < code.size() && std::isdigit(static_cast<unsigned char>(code[i + 2])))) {
                    std::size_t j = i + 1;
                    bool neg = code[j] == '-';
                    if (neg)
                        ++j;
                    long n = 0;
                    while (j < code.size() && std::isdigit(static_cast<unsigned char>(code[j]))) {
                        n = n * 10 + (code[j++] - '0');
                        if (n > 100000)
                            fail(line, "$ reference out of range");
                    }
                    if (neg)
                        n = -n;
                    if (n > limit)
                        fail(line, "$" + std::to_string(n) + " refers beyond the symbols before this action");
                    out += "vsp[" + std::to_string(n - before) + "].value";
                    i = j;
                } else if (d == '<') {
                    fail(line, "typed semantic values ($<...>) are not supported");
                } else {
                    fail(line, "invalid $ reference in action");
                }
            } else {
                out += c;
                ++i;
            }
        }
        return out;
    }

    void finish_alternative(int lhs, const std::vector<alt_item>& items, int alt_line)
    {
        raw_rule r{lhs, {}, items.empty() ? alt_line : items.front().line, false, {}, 0};
        std::vector<raw_rule> midrules;
        for (std::size_t k = 0; k < items.size(); ++k) {
            const alt_item& it = items[k];
            int before = static_cast<int>(r.rhs.size());
            if (!it.is_action) {
                r.rhs.push_back(it.sym);
                continue;
            }
            std::string code = substitute(it.code, it.line, before, before);
            if (k + 1 == items.size()) {
                r.has_action = true;
                r.action = std::move(code);
                r.action_line = it.line;
            } else {
                std::string name = "$@" + std::to_string(++midrule_count);
                int e = entry(name, it.line);
                make_nonterminal(e, it.line);
                midrules.push_back(raw_rule{e, {}, it.line, true, std::move(code), it.line});
                r.rhs.push_back(e);
            }
        }
        // The engine's rule table holds lengths in a signed byte.
        if (r.rhs.size() > 127)
            fail(r.line, "a rule may have at most 127 symbols");
        for (auto& m : midrules)
            rules.push_back(std::move(m));
        rules.push_back(std::move(r));
    }

    int rule_symbol(const token& t)
    {
        int e = entry(t.text, t.line);
        if (t.kind == tok::literal)
            make_token(e, static_cast<int>(t.value), t.line);
        if (syms[e].use_line == 0)
            syms[e].use_line = t.line;
        return e;
    }

    void rule_section()
    {
        for (;;) {
            token t = next();
            if (t.kind == tok::end)
                return;
            if (t.kind == tok::mark) {
                g.epilogue_line = lx.line;
                g.epilogue = std::string(lx.s.substr(lx.pos));
                return;
            }
            if (t.kind != tok::ident)
                fail(t.line, "a rule must start with a nonterminal name");
            token colon = next();
            if (colon.kind != tok::colon)
                fail(colon.line, "':' expected after '" + t.text + "'");
            if (t.text == "error")
                fail(t.line, "rule given for 'error', which is a token");
            int lhs = entry(t.text, t.line);
            make_nonterminal(lhs, t.line);
            if (rules.empty() && start_entry < 0) {
                start_entry = lhs;
                start_line = t.line;
            }
            int alt_line = colon.line;
            std::vector<alt_item> items;
            bool empty_marked = false;
            for (;;) {
                const token& p = peek();
                if (p.kind == tok::ident || p.kind == tok::literal) {
                    token s = next();
                    if (s.kind == tok::ident && peek().kind == tok::colon) {
                        // The next rule begins (this one's ';' was left out).
                        ahead.push_front(std::move(s));
                        finish_alternative(lhs, items, alt_line);
                        break;
                    }
                    if (empty_marked)
                        fail(s.line, "%empty in a non-empty alternative");
                    items.push_back(alt_item{false, rule_symbol(s), {}, s.line});
                } else if (p.kind == tok::action) {
                    token a = next();
                    if (empty_marked)
                        fail(a.line, "%empty in a non-empty alternative");
                    items.push_back(alt_item{true, -1, a.text, a.line});
                } else if (p.kind == tok::directive) {
                    token d = next();
                    if (d.text != "empty")
                        fail(d.line, "unknown or unsupported directive %" + d.text + " in a rule");
                    if (!items.empty())
                        fail(d.line, "%empty in a non-empty alternative");
                    empty_marked = true;
                } else if (p.kind == tok::bar) {
                    token b = next();
                    finish_alternative(lhs, items, alt_line);
                    items.clear();
                    empty_marked = false;
                    alt_line = b.line;
                } else if (p.kind == tok::semi) {
                    next();
                    finish_alternative(lhs, items, alt_line);
                    break;
                } else if (p.kind == tok::mark || p.kind == tok::end) {
                    finish_alternative(lhs, items, alt_line);
                    break;
                } else {
                    fail(p.line, "unexpected text in a rule");
                }
            }
        }
    }

    void finalize()
    {
        if (rules.empty())
            fail(lx.line, "the grammar has no rules");
        if (syms[start_entry].k != kind::nonterminal)
            fail(start_line, "start symbol '" + syms[start_entry].name + "' has no rules");
        for (const auto& s : syms)
            if (s.k == kind::unknown)
                fail(s.use_line ? s.use_line : s.line,
                     "symbol '" + s.name + "' is used, but is not defined as a token and has no rules");

        // Codes for tokens declared without a number.
        int max_code = 257;
        for (const auto& s : syms)
            if (s.k == kind::token)
                max_code = std::max(max_code, s.code);
        std::vector<int> tokens, nonterminals;
        for (int e = 0; e < static_cast<int>(syms.size()); ++e)
            (syms[e].k == kind::token ? tokens : nonterminals).push_back(e);
        auto by_order = [&](int a, int b) { return syms[a].order < syms[b].order; };
        std::sort(tokens.begin(), tokens.end(), by_order);
        std::sort(nonterminals.begin(), nonterminals.end(), by_order);
        std::map<int, int> code_owner;
        for (int e : tokens) {
            if (syms[e].name == "error")
                continue;
            if (syms[e].code < 0)
                syms[e].code = ++max_code;
            auto [it, fresh] = code_owner.emplace(syms[e].code, e);
            if (!fresh)
                fail(syms[e].line, "'" + syms[e].name + "' and '" + syms[it->second].name + "' have the same code " +
                                       std::to_string(syms[e].code));
        }

        std::vector<int> number(syms.size(), -1);
        g.symbols.push_back(symbol_info{"$end", true, 0, 0, {}});
        g.symbols.push_back(symbol_info{"error", true, 256, 0, {}});
        g.symbols.push_back(symbol_info{"$undefined.", true, 257, 0, {}});
        number[by_name.at("error")] = 1;
        for (int e : tokens) {
            if (syms[e].name == "error")
                continue;
            number[e] = static_cast<int>(g.symbols.size());
            g.symbols.push_back(symbol_info{syms[e].name, true, syms[e].code, syms[e].line, syms[e].description});
        }
        g.num_terminals = static_cast<int>(g.symbols.size());
        g.symbols.push_back(symbol_info{"$accept", false, -1, 0, {}});
        for (int e : nonterminals) {
            number[e] = static_cast<int>(g.symbols.size());
            g.symbols.push_back(symbol_info{syms[e].name, false, -1, syms[e].line, syms[e].description});
        }
        g.start = number[start_entry];

        g.rules.push_back(rule_info{g.num_terminals, {g.start, 0}, 0, false, {}, 0});
        for (auto& r : rules) {
            rule_info ri{number[r.lhs], {}, r.line, r.has_action, std::move(r.action), r.action_line};
            for (int e : r.rhs)
                ri.rhs.push_back(number[e]);
            g.rules.push_back(std::move(ri));
        }
        check_usefulness();
    }

    void check_usefulness()
    {
        const int nsym = static_cast<int>(g.symbols.size());
        // Productive nonterminals: derive some string of terminals.
        std::vector<bool> productive(nsym, false);
        for (int s = 0; s < g.num_terminals; ++s)
            productive[s] = true;
        for (bool changed = true; changed;) {
            changed = false;
            for (const auto& r : g.rules) {
                if (productive[r.lhs])
                    continue;
                if (std::all_of(r.rhs.begin(), r.rhs.end(), [&](int s) { return productive[s]; })) {
                    productive[r.lhs] = true;
                    changed = true;
                }
            }
        }
        if (!productive[g.start])
            fail(start_line, "start symbol '" + g.symbols[g.start].name + "' does not derive any sentence");
        std::vector<bool> reachable(nsym, false);
        std::vector<int> work{g.start};
        reachable[g.start] = true;
        while (!work.empty()) {
            int a = work.back();
            work.pop_back();
            for (const auto& r : g.rules)
                if (r.lhs == a)
                    for (int s : r.rhs)
                        if (!reachable[s]) {
                            reachable[s] = true;
                            work.push_back(s);
                        }
        }
        for (int s = g.num_terminals + 1; s < nsym; ++s) {
            if (!reachable[s])
                g.warnings.push_back(file_name + ":" + std::to_string(g.symbols[s].line) + ": warning: nonterminal '" +
                                     g.symbols[s].name + "' is not reachable from the start symbol");
            else if (!productive[s])
                g.warnings.push_back(file_name + ":" + std::to_string(g.symbols[s].line) + ": warning: nonterminal '" +
                                     g.symbols[s].name + "' derives no sentence");
        }
    }
};

} // namespace

grammar read_grammar(std::string_view text, const std::string& file_name)
{
    reader rd;
    rd.lx.s = text;
    rd.file_name = file_name;
    rd.g.file_name = file_name;
    rd.entry("error", 0);
    rd.syms[0].k = kind::token;
    rd.syms[0].order = -1;
    rd.syms[0].code = 256;
    rd.declarations();
    rd.rule_section();
    rd.finalize();
    return std::move(rd.g);
}

} // namespace lalrgen
