// quenda-info: shows the header of Quenda sound files and checks what it
// announces against the files themselves, as text for a person, as one JSON
// object per file for a script, or as the files' texts alone for transcript
// lists.
#include "header.h"
#include "layout.h"
#include "quenda_file.h"
#include "std_fds.h"

#include <sys/stat.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* program = "quenda-info";

constexpr const char* usage_line = "usage: quenda-info [--format=text|json] [--text=ort|kan] FILE...\n";

constexpr const char* help_text =
    "Shows the header of each Quenda sound file and checks it against the file.\n"
    "\n"
    "  --format=text   the header dump, the texts and what the header implies (default)\n"
    "  --format=json   one JSON object per file and line\n"
    "  --text=ort      only the orthographic text, one line FILE<TAB>text per file\n"
    "  --text=kan      only the canonical text, likewise\n"
    "  -h, --help      this text\n"
    "  --version       the program's version\n"
    "\n"
    "Texts are written as UTF-8, their bytes taken as Latin-1.\n"
    "Exit status: 0 when every file was read as a Quenda file, 1 when one was not,\n"
    "2 for a usage error or when the output cannot be written.\n";

constexpr const char* version_text = "quenda-info (quenda tools) 1.0\n";

// Rates that `isf` may plausibly hold.
constexpr std::int32_t min_rate = 1000;
constexpr std::int32_t max_rate = 384000;

enum class Output { text, json, ort, kan };


// --- output -------------------------------------------------------------------

[[noreturn]] void usage_error(const std::string& message)
{
    fprintf(stderr, "%s: %s\n%s", program, message.c_str(), usage_line);
    exit(2);
}

// Standard output is the product: a failed write ends the run.
void flush_output()
{
    errno = 0;
    if (fflush(stdout) == 0 && !ferror(stdout))
        return;
    const int err = errno != 0 ? errno : EIO;
    fprintf(stderr, "%s: cannot write standard output: %s\n", program, strerror(err));
    exit(2);
}

void put(std::string_view s)
{
    fwrite(s.data(), 1, s.size(), stdout);
}

// A byte of a text as UTF-8, the text's bytes read as Latin-1.
void append_latin1(std::string& out, unsigned char c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// A text for a line of its own: UTF-8, control characters as blanks so that
// one text stays on one line.
std::string line_text(std::string_view s)
{
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        append_latin1(out, c < 0x20 || c == 0x7f ? ' ' : c);
    }
    return out;
}

// Length of the UTF-8 sequence at the start of `s`, or 0 when it is none.
std::size_t utf8_sequence(std::string_view s)
{
    const auto c = static_cast<unsigned char>(s[0]);
    std::size_t n = 0;
    if (c < 0x80)
        n = 1;
    else if (c >= 0xc2 && c <= 0xdf)
        n = 2;
    else if ((c & 0xf0) == 0xe0)
        n = 3;
    else if (c >= 0xf0 && c <= 0xf4)
        n = 4;
    if (n == 0 || n > s.size())
        return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xc0) != 0x80)
            return 0;
    return n;
}

bool is_utf8(std::string_view s)
{
    while (!s.empty()) {
        const std::size_t n = utf8_sequence(s);
        if (n == 0)
            return false;
        s.remove_prefix(n);
    }
    return true;
}

// A JSON string.  Header texts are Latin-1; a file name is taken as it is
// when it is UTF-8 already, else as Latin-1.
std::string json_string(std::string_view s, bool latin1 = true)
{
    const bool raw = !latin1 && is_utf8(s);
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[7];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else if (c >= 0x80 && !raw) {
            append_latin1(out, c);
        } else {
            out += ch;
        }
    }
    return out + '"';
}

std::string json_text(const char* text)
{
    return text == nullptr ? "null" : json_string(text);
}

// --- one file ----------------------------------------------------------------

// A file read as a Quenda file, and what its header implies.
struct Info {
    const char* name;
    Quenda_header_2* header = nullptr;
    char* ort = nullptr;
    char* kan = nullptr;
    std::int64_t size = 0;
    std::int64_t header_bytes = 0;
    std::int64_t samples = 0;    // whole samples after the header
    bool odd_byte = false;       // a last byte that is no whole sample
    std::int64_t announced = 0;  // nspbk x 256
    std::vector<std::string> problems;

    Info(const Info&) = delete;
    Info& operator=(const Info&) = delete;
    explicit Info(const char* file) : name(file) {}
    ~Info()
    {
        free(header);
        free(ort);
        free(kan);
    }

    int version() const { return header->anz_header > 1 ? 2 : 1; }
    bool plausible_rate() const { return header->isf >= min_rate && header->isf <= max_rate; }
};

bool fail_file(const char* name, const std::string& why)
{
    fprintf(stderr, "%s: %s: %s\n", program, name, why.c_str());
    return false;
}

// Reads the header of `info.name` and checks it against the file.  False
// after a message on standard error when the file is no Quenda file.
bool inspect(Info& info)
{
    FILE* f = fopen(info.name, "r");
    if (f == nullptr)
        return fail_file(info.name, strerror(errno));
    struct Closer {
        FILE* f;
        ~Closer() { fclose(f); }
    } closer{f};

    struct stat st {};
    if (fstat(fileno(f), &st) != 0)
        return fail_file(info.name, strerror(errno));
    if (!S_ISREG(st.st_mode))
        return fail_file(info.name, "not a regular file");
    info.size = st.st_size;

    std::string why;
    switch (check_quenda_file(f, info.size, why)) {
    case quenda_shape::plausible:
        break;
    case quenda_shape::not_quenda:
        return fail_file(info.name, why);
    case quenda_shape::read_error:
        return fail_file(info.name, strerror(errno));
    }
    info.header = read_header_of_this_host(f, &info.ort, &info.kan);
    if (info.header == nullptr)
        return fail_file(info.name, "could not read the Quenda header");

    const Quenda_header_2& h = *info.header;
    info.header_bytes = std::int64_t{h.anz_header} * 512;
    const std::int64_t after = info.size - info.header_bytes;
    info.samples = after / 2;
    info.odd_byte = after % 2 != 0;
    info.announced = std::int64_t{h.nspbk} * 256;

    auto problem = [&](const std::string& s) { info.problems.push_back(s); };
    if (info.samples != info.announced)
        problem(std::to_string(info.samples) + " samples in the file, " + std::to_string(info.announced) +
                " announced (nspbk " + std::to_string(h.nspbk) + ")");
    if (info.odd_byte)
        problem("an odd byte after the last sample");
    if (!info.plausible_rate())
        problem("isf " + std::to_string(h.isf) + " is not a plausible sample rate (" + std::to_string(min_rate) +
                " to " + std::to_string(max_rate) + ")");
    if (h.version != info.version())
        problem("version byte " + std::to_string(h.version) + ", but anz_header " + std::to_string(h.anz_header) +
                " means version " + std::to_string(info.version()));
    if (info.version() == 2 && info.ort == nullptr)
        problem("no orthographic text in the header");
    if (info.version() == 2 && info.kan == nullptr)
        problem("no canonical text in the header");
    return true;
}

void show_text(const Info& info, bool first)
{
    const Quenda_header_2& h = *info.header;
    std::string s = first ? "" : "\n";
    s += "==> " + std::string(info.name) + " <==\n";
    put(s);
    disp_header_v2(&h);  // through printf, the same stream

    char line[160];
    s.clear();
    auto add = [&](const char* label, const std::string& value) {
        snprintf(line, sizeof line, "%-20s", label);
        s += line + value + "\n";
    };
    if (info.ort != nullptr)
        add("ort:", line_text(info.ort));
    if (info.kan != nullptr)
        add("kan:", line_text(info.kan));
    add("header bytes:", std::to_string(info.header_bytes) + " (anz_header " + std::to_string(h.anz_header) + " x 512)");
    add("samples:", std::to_string(info.samples) + " (" + std::to_string(info.samples * 2) +
                        " bytes after the header)");
    add("announced samples:", std::to_string(info.announced) + " (nspbk " + std::to_string(h.nspbk) + " x 256)");
    add("odd byte:", info.odd_byte ? "1, dropped" : "none");
    if (info.plausible_rate()) {
        snprintf(line, sizeof line, "%.3f s (%lld samples at %d Hz)", static_cast<double>(info.samples) / h.isf,
                 static_cast<long long>(info.samples), static_cast<int>(h.isf));
        add("duration:", line);
    } else {
        add("duration:", "unknown");
    }
    if (info.problems.empty())
        add("problems:", "none");
    for (const std::string& p : info.problems)
        add("problem:", p);
    put(s);
}

// One field of the record as a JSON value: numbers as integers (a list for
// more than one), characters as a string up to their first NUL.
std::string json_field(const Quenda_header_2& h, const quenda::Field& f)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&h) + f.member;
    if (f.kind == quenda::Kind::chars || f.kind == quenda::Kind::text) {
        const std::size_t n = quenda::text_length(p, f.count);
        return json_string(std::string_view(reinterpret_cast<const char*>(p), n));
    }
    auto number = [&](std::size_t i) -> long long {
        switch (f.kind) {
        case quenda::Kind::int32: {
            std::int32_t v;
            memcpy(&v, p + 4 * i, sizeof v);
            return v;
        }
        case quenda::Kind::int16: {
            std::int16_t v;
            memcpy(&v, p + 2 * i, sizeof v);
            return v;
        }
        default:
            return static_cast<std::int8_t>(p[i]);
        }
    };
    if (f.count == 1)
        return std::to_string(number(0));
    std::string list = "[";
    for (std::size_t i = 0; i < f.count; ++i) {
        if (i > 0)
            list += ',';
        list += std::to_string(number(i));
    }
    list += ']';
    return list;
}

void show_json(const Info& info)
{
    std::string s = "{\"file\":" + json_string(info.name, false);
    s += ",\"version\":" + std::to_string(info.version());
    s += ",\"header_bytes\":" + std::to_string(info.header_bytes);
    s += ",\"samples\":" + std::to_string(info.samples);
    s += ",\"announced_samples\":" + std::to_string(info.announced);
    s += ",\"ort\":" + json_text(info.ort);
    s += ",\"kan\":" + json_text(info.kan);
    s += ",\"fields\":{";
    bool first = true;
    for (const quenda::Field& f : quenda::fields) {
        if (f.role == quenda::Role::reserved)
            continue;
        s += first ? "\"" : ",\"";
        s += f.name;
        s += "\":";
        s += json_field(*info.header, f);
        first = false;
    }
    s += "},\"problems\":[";
    for (std::size_t i = 0; i < info.problems.size(); ++i) {
        if (i > 0)
            s += ',';
        s += json_string(info.problems[i]);
    }
    s += "]}\n";
    put(s);
}

void show_text_only(const Info& info, const char* text)
{
    put(std::string(info.name) + "\t" + line_text(text != nullptr ? text : "") + "\n");
}

// --- command line --------------------------------------------------------------

struct Options {
    Output output = Output::text;
    std::vector<const char*> files;
};

// The value of `--name=value` or `--name value` at argv[i], or null when
// argv[i] is another option; moves i past a separate value.
const char* option_value(const char* name, int argc, char** argv, int& i)
{
    const std::string_view arg = argv[i];
    const std::size_t n = strlen(name);
    if (arg.substr(0, n) != name)
        return nullptr;
    if (arg.size() > n && arg[n] == '=')
        return argv[i] + n + 1;
    if (arg.size() > n)
        return nullptr;
    if (i + 1 >= argc)
        usage_error(std::string("option ") + name + " needs a value");
    return argv[++i];
}

Options parse(int argc, char** argv)
{
    Options o;
    bool options_end = false;
    Output format = Output::text;
    Output text = Output::text;  // text: no --text given
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            o.files.push_back(argv[i]);
        } else if (arg == "--") {
            options_end = true;
        } else if (arg == "-h" || arg == "--help") {
            put(usage_line);
            put(help_text);
            flush_output();
            exit(0);
        } else if (arg == "--version") {
            put(version_text);
            flush_output();
            exit(0);
        } else if (const char* v = option_value("--format", argc, argv, i)) {
            if (strcmp(v, "text") == 0)
                format = Output::text;
            else if (strcmp(v, "json") == 0)
                format = Output::json;
            else
                usage_error(std::string("unknown format '") + v + "' (text or json)");
        } else if (const char* t = option_value("--text", argc, argv, i)) {
            if (strcmp(t, "ort") == 0)
                text = Output::ort;
            else if (strcmp(t, "kan") == 0)
                text = Output::kan;
            else
                usage_error(std::string("unknown text '") + t + "' (ort or kan)");
        } else {
            usage_error("unknown option '" + std::string(arg) + "'");
        }
    }
    if (o.files.empty())
        usage_error("no file given");
    o.output = text != Output::text ? text : format;
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    // Standard output is what this program makes: a closed one must fail.
    keep_std_fds(true);
    const Options o = parse(argc, argv);

    int status = 0;
    bool first = true;
    for (const char* file : o.files) {
        Info info(file);
        if (!inspect(info)) {
            status = 1;
            continue;
        }
        switch (o.output) {
        case Output::text:
            show_text(info, first);
            break;
        case Output::json:
            show_json(info);
            break;
        case Output::ort:
            show_text_only(info, info.ort);
            break;
        case Output::kan:
            show_text_only(info, info.kan);
            break;
        }
        first = false;
        flush_output();  // each file's lines before the next file's messages
    }
    if (fclose(stdout) != 0) {
        fprintf(stderr, "%s: cannot write standard output: %s\n", program, strerror(errno));
        return 2;
    }
    return status;
}
