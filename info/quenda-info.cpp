// quenda-info: shows the header of Quenda sound files and checks what it
// announces against the files themselves, as text for a person, as one JSON
// object per file for a script, or as the files' texts alone for transcript
// lists.  Folders are searched for *.qnd files.
//
// Whatever a file holds, each header field, each text and each file name
// stays on its own line: in the text view and in the texts alone, bytes that
// cannot be shown as they are follow common/text's escaping rule; in JSON
// every string is written by text::json_string.
#include "header/header.h"
#include "header/info.h"
#include "common/command_line.h"
#include "common/inputs.h"
#include "common/json_writer.h"
#include "header/layout.h"
#include "common/std_fds.h"
#include "common/text.h"
#include "common/version.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* program = "quenda-info";

constexpr const char* usage_line = "usage: quenda-info [--format=text|json|line] [--text=ort|kan] FILE...\n";

constexpr const char* help_text =
    "Shows the header of each Quenda sound file and checks it against the file.\n"
    "A folder is searched for *.qnd files, in its subfolders too.\n"
    "\n"
    "  --format=text   the header fields, the texts and what the header implies (default)\n"
    "  --format=json   one JSON object per file and line\n"
    "  --format=line   one line per file: version, samples, duration, rate, problems\n"
    "  --text=ort      only the orthographic text, one line FILE<TAB>text per file\n"
    "  --text=kan      only the canonical text, likewise\n"
    "  -h, --help      this text\n"
    "  --version       the program's version\n"
    "\n"
    "Texts are written as UTF-8, their bytes taken as Latin-1; bytes that cannot be\n"
    "shown are written as \\xHH, \\n, \\t, \\0 (a backslash as \\\\).\n"
    "Exit status: 0 when every file was read as a Quenda file, 1 when one was not,\n"
    "2 for a usage error or when the output cannot be written.\n";

constexpr const char* version_text = "quenda-info (quenda tools) " QUENDA_TOOLS_VERSION "\n";

constexpr std::string_view suffix = ".qnd";

enum class Output { text, json, line, ort, kan };

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

// Header characters for a line of their own: their bytes read as Latin-1
// and written as UTF-8; control characters and backslashes escaped.
std::string latin1_line(std::string_view s)
{
    std::string out;
    for (const char ch : s) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0xa0)
            text::append_utf8(out, b);
        else
            text::append_escaped(out, b);
    }
    return out;
}

// A header text in UTF-8, or nothing for a version-1 header.
std::optional<std::string> utf8_text(const char* s)
{
    return s == nullptr ? std::nullopt : std::optional(text::latin1_to_utf8(s));
}

// --- one file ----------------------------------------------------------------

// A file read as a Quenda file, and what its header implies.
struct Info {
    std::string name;
    Quenda_header_2* header = nullptr;
    char* ort = nullptr;
    char* kan = nullptr;
    quenda::file_info implied;
    std::vector<std::string> problems;

    Info(const Info&) = delete;
    Info& operator=(const Info&) = delete;
    explicit Info(std::string file) : name(std::move(file)) {}
    ~Info()
    {
        free(header);
        free(ort);
        free(kan);
    }
};

// Reads the header of `info.name` and checks it against the file.  The
// reason when the file is no Quenda file, or an empty string.
std::string inspect(Info& info)
{
    FILE* f = nullptr;
    struct stat st {};
    switch (quenda::open_regular_file(info.name.c_str(), f, st)) {
    case quenda::open_status::opened:
        break;
    case quenda::open_status::cannot_open:
        return strerror(errno);
    case quenda::open_status::not_regular:
        return "not a regular file";
    }
    struct Closer {
        FILE* f;
        ~Closer() { fclose(f); }
    } closer{f};

    const quenda::file_check check = quenda::check_quenda_file(f, st.st_size);
    if (check.read_error)
        return strerror(errno);
    if (!check.ok())
        return check.problem;
    info.header = read_header_of_this_host(f, &info.ort, &info.kan);
    if (info.header == nullptr)
        return "could not read the Quenda header";

    const Quenda_header_2& h = *info.header;
    const quenda::file_info& i = info.implied = quenda::describe_file(h, st.st_size);
    quenda::signal_summary signal;
    if (!quenda::scan_samples(f, i, signal))
        return strerror(errno);
    for (quenda::recording_problem& p : quenda::check_recording(h, i, signal))
        info.problems.push_back(std::move(p.words));
    // What only a reader of the header itself needs to know.
    auto problem = [&](const std::string& s) { info.problems.push_back(s); };
    if (h.version != i.version)
        problem("version byte " + std::to_string(h.version) + ", but anz_header " + std::to_string(h.anz_header) +
                " means version " + std::to_string(i.version));
    if (i.version == 2 && info.ort == nullptr)
        problem("no orthographic text in the header");
    if (i.version == 2 && info.kan == nullptr)
        problem("no canonical text in the header");
    return {};
}

// A field's line as the library's dump shows it (the same label and
// column), its characters escaped.
std::string field_line(const Quenda_header_2& h, const quenda::Field& f)
{
    const std::string_view format = f.dump;
    std::string line(format.substr(0, format.find('%')));
    if (f.kind != quenda::Kind::chars && f.kind != quenda::Kind::text)
        line += std::to_string(quenda::field_number(h, f)); // an array by its first element
    else if (f.count == 1)                                  // one character, whatever it is
        line += latin1_line({reinterpret_cast<const char*>(&h) + f.member, 1});
    else
        line += latin1_line(quenda::field_text(h, f));
    return line + '\n';
}

void show_text(const Info& info, bool first)
{
    const Quenda_header_2& h = *info.header;
    const quenda::file_info& i = info.implied;
    std::string s = first ? "" : "\n";
    s += "==> " + text::printable(info.name) + " <==\n";
    s += quenda::dump_title;
    for (const quenda::Field& f : quenda::fields)
        s += field_line(h, f);

    char line[160];
    auto add = [&](const char* label, const std::string& value) {
        snprintf(line, sizeof line, "%-20s", label);
        s += line + value + "\n";
    };
    if (info.ort != nullptr)
        add("ort:", latin1_line(info.ort));
    if (info.kan != nullptr)
        add("kan:", latin1_line(info.kan));
    const std::string block = std::to_string(quenda::block_size);
    const std::string block_samples = std::to_string(quenda::block_size / 2); // of 16 bits
    add("header bytes:",
        std::to_string(i.header_bytes) + " (anz_header " + std::to_string(h.anz_header) + " x " + block + ")");
    add("samples:", std::to_string(i.samples) + " (" + std::to_string(i.samples * 2) + " bytes after the header)");
    add("announced samples:",
        std::to_string(i.announced_samples) + " (nspbk " + std::to_string(h.nspbk) + " x " + block_samples + ")");
    add("odd byte:", i.odd_byte ? "1, dropped" : "none");
    if (i.rate_plausible) {
        snprintf(line, sizeof line, "%.3f s (%lld samples at %d Hz)", i.seconds, static_cast<long long>(i.samples),
                 static_cast<int>(h.isf));
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

// One field of the record: numbers as integers (a list for more than
// one), characters as a string up to their first NUL.
void add_field(json_writer::object& fields, const Quenda_header_2& h, const quenda::Field& f)
{
    if (f.kind == quenda::Kind::chars || f.kind == quenda::Kind::text) {
        fields.field(f.name, text::latin1_to_utf8(quenda::field_text(h, f)));
    } else if (f.count == 1) {
        fields.field(f.name, quenda::field_number(h, f));
    } else {
        json_writer::array list;
        for (std::size_t i = 0; i < f.count; ++i)
            list.add(quenda::field_number(h, f, i));
        fields.field(f.name, list);
    }
}

void show_json(const Info& info)
{
    const quenda::file_info& i = info.implied;
    json_writer::object fields;
    for (const quenda::Field& f : quenda::fields)
        if (f.role != quenda::Role::reserved)
            add_field(fields, *info.header, f);
    put(json_writer::object()
            .field("type", "header")
            .field("file", info.name)
            .field("version", i.version)
            .field("header_bytes", i.header_bytes)
            .field("samples", i.samples)
            .field("announced_samples", i.announced_samples)
            .field("ort", utf8_text(info.ort))
            .field("kan", utf8_text(info.kan))
            .field("fields", fields)
            .field("problems", json_writer::strings(info.problems))
            .line());
}

// "FILE: version 2, 4096 samples, 0.256 s at 16000 Hz, problems: none",
// the problems joined by "; ": a folder of recordings at a glance.
void show_line(const Info& info)
{
    const quenda::file_info& i = info.implied;
    std::string s = text::printable(info.name) + ": version " + std::to_string(i.version) + ", " +
                    std::to_string(i.samples) + " samples, ";
    if (i.rate_plausible) {
        char duration[80];
        snprintf(duration, sizeof duration, "%.3f s at %d Hz", i.seconds, static_cast<int>(info.header->isf));
        s += duration;
    } else {
        s += "no plausible rate (isf " + std::to_string(info.header->isf) + ")";
    }
    s += ", problems: ";
    if (info.problems.empty())
        s += "none";
    for (std::size_t k = 0; k < info.problems.size(); ++k)
        s += (k > 0 ? "; " : "") + info.problems[k];
    put(s + "\n");
}

void show_text_only(const Info& info, const char* text)
{
    put(text::printable(info.name) + "\t" + latin1_line(text != nullptr ? text : "") + "\n");
}

// A path that gave no Quenda file: a record of its own in JSON, where the
// output is the whole report; a line on standard error otherwise.
void show_file_error(Output output, const std::string& name, const std::string& why)
{
    if (output == Output::json)
        put(json_writer::object().field("type", "file_error").field("file", name).field("message", why).line());
    else
        fprintf(stderr, "%s: %s: %s\n", program, text::printable(name).c_str(), text::printable(why).c_str());
}

// --- command line --------------------------------------------------------------

struct Options {
    Output output = Output::text;
    std::vector<std::string> paths;
};

constexpr command_line::option known_options[] = {
    {"format", true}, {"text", true}, {"help", false, 'h'}, {"version", false}};

// The option `it` applied to `o`, or false with `error` set.  --help and
// --version are answered where they stand.
bool apply(const command_line::item& it, Output& format, Output& only, std::string& error)
{
    const std::string_view name = it.opt->name, v = it.value;
    if (name == "help" || name == "version") {
        if (name == "help") {
            put(usage_line);
            put(help_text);
        } else {
            put(version_text);
        }
        flush_output();
        exit(0);
    }
    if (name == "format") {
        if (v == "text")
            format = Output::text;
        else if (v == "json")
            format = Output::json;
        else if (v == "line")
            format = Output::line;
        else
            error = "unknown format '" + text::printable(v) + "' (text, json or line)";
    } else if (v == "ort") {
        only = Output::ort;
    } else if (v == "kan") {
        only = Output::kan;
    } else {
        error = "unknown text '" + text::printable(v) + "' (ort or kan)";
    }
    return error.empty();
}

Options parse(int argc, char** argv)
{
    Options o;
    Output format = Output::text;
    Output only = Output::text; // text: no --text given
    const std::vector<std::string> args(argv, argv + argc);
    std::string error;
    const bool read = command_line::read(
        args, 1, known_options,
        [&](const command_line::item& it) {
            if (it.opt)
                return apply(it, format, only, error);
            o.paths.emplace_back(it.value);
            return true;
        },
        error);
    if (!read)
        usage_error(error);
    if (o.paths.empty())
        usage_error("no file given");
    o.output = only != Output::text ? only : format;
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    // Standard output is what this program makes: a closed one must fail.
    keep_std_fds(true);
    const Options o = parse(argc, argv);

    int status = 0;
    bool first = true;
    // The paths in the order given; the files of a folder sorted by path.
    for (const std::string& path : o.paths) {
        for (const inputs::input_file& in : inputs::collect_inputs({path}, suffix)) {
            Info info(in.path);
            const std::string why = in.usable() ? inspect(info) : in.error;
            if (!why.empty()) {
                show_file_error(o.output, in.path, why);
                status = 1;
                flush_output();
                continue;
            }
            switch (o.output) {
            case Output::text:
                show_text(info, first);
                break;
            case Output::json:
                show_json(info);
                break;
            case Output::line:
                show_line(info);
                break;
            case Output::ort:
                show_text_only(info, info.ort);
                break;
            case Output::kan:
                show_text_only(info, info.kan);
                break;
            }
            first = false;
            flush_output(); // each file's lines before the next file's messages
        }
    }
    if (fclose(stdout) != 0) {
        fprintf(stderr, "%s: cannot write standard output: %s\n", program, strerror(errno));
        return 2;
    }
    return status;
}
