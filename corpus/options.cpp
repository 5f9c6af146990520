#include "corpus/options.h"

#include <algorithm>
#include <string_view>

#include "common/command_line.h"

namespace corpus {

namespace {

constexpr command_line::option known_options[] = {
    {"jobs", true, 'j'},     {"format", true},      {"keep-going", false}, {"ext", true},
    {"audio", true},         {"audio-ext", true},   {"form", true},        {"by", true},
    {"kinds", true},         {"lexicon", true},     {"to", true},          {"write-wav", false},
    {"no-write-wav", false}, {"tags", true},        {"speaker", true},     {"force", false},
    {"quenda2wav", true},    {"output", true, 'o'}, {"dialogs", false},    {"help", false, 'h'},
    {"version", false},
};

// The options that only some subcommands take; the others, all take.
struct only_for {
    std::string_view name;
    std::vector<command> commands;
};

const std::vector<only_for>& restricted_options()
{
    static const std::vector<only_for> restricted = {
        {"audio", {command::stats, command::pair, command::export_, command::report}},
        {"audio-ext", {command::stats, command::pair, command::export_, command::report}},
        {"form", {command::words, command::export_}},
        {"by", {command::words}},
        {"kinds", {command::words}},
        {"lexicon", {command::words}},
        {"to", {command::export_}},
        {"write-wav", {command::export_}},
        {"no-write-wav", {command::export_}},
        {"tags", {command::export_}},
        {"speaker", {command::export_}},
        {"force", {command::export_}},
        {"quenda2wav", {command::export_}},
        {"output", {command::report}},
        {"dialogs", {command::report}},
    };
    return restricted;
}

constexpr std::string_view command_names[] = {"words", "stats", "pair", "export", "report"};

using command_line::quoted;
using command_line::read_number;

bool apply(std::string_view name, std::string_view value, options& o, std::string& error)
{
    auto bad = [&](std::string_view what) {
        error = "invalid --" + std::string(name) + " " + quoted(value) + " (" + std::string(what) + ")";
        return false;
    };
    long n = 0;
    if (name == "jobs") {
        if (!read_number(value, 1, max_jobs, n))
            return bad("a whole number from 1 to " + std::to_string(max_jobs));
        o.jobs = static_cast<unsigned>(n);
    } else if (name == "format") {
        if (value == "text")
            o.output = format::text;
        else if (value == "json")
            o.output = format::json;
        else if (value == "tsv")
            o.output = format::tsv;
        else
            return bad("text, json or tsv");
    } else if (name == "keep-going") {
        o.keep_going = true;
    } else if (name == "ext" || name == "audio-ext") {
        if (value.empty())
            return bad("a suffix such as .trl");
        (name == "ext" ? o.suffix : o.audio_suffix) = value;
    } else if (name == "audio") {
        o.audio.emplace_back(value);
    } else if (name == "form") {
        o.form_given = true;
        if (value == "written")
            o.letters = form::written;
        else if (value == "utf8")
            o.letters = form::utf8;
        else if (value == "echo" && o.what == command::words)
            o.letters = form::echo;
        else
            return bad(o.what == command::words ? "written, utf8 or echo" : "written or utf8");
    } else if (name == "by") {
        if (value == "speaker")
            o.by = grouping::speaker;
        else if (value == "dialog")
            o.by = grouping::dialog;
        else
            return bad("speaker or dialog");
    } else if (name == "kinds") {
        using trl::kind;
        // The kinds whose elements are tags.
        constexpr kind tagged[] = {kind::hesitation, kind::speaker_noise, kind::technical_noise, kind::breathing,
                                   kind::event,      kind::pause,         kind::silence};
        o.kinds.clear();
        o.marks = false;
        std::string_view rest = value;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view k = rest.substr(0, comma);
            const auto named = trl::kind_named(k);
            if (k == "all") {
                o.kinds.assign(std::begin(tagged), std::end(tagged));
                o.marks = true;
            } else if (k == "marks") {
                o.marks = true;
            } else if (named && std::find(std::begin(tagged), std::end(tagged), *named) != std::end(tagged)) {
                o.kinds.push_back(*named);
            } else {
                return bad("a list of hesitation, speaker-noise, technical-noise, breathing, event, pause, "
                           "silence, marks, or all");
            }
            if (comma == std::string_view::npos)
                break;
            rest = rest.substr(comma + 1);
        }
        if (o.kinds.empty() && !o.marks)
            o.marks = true; // "marks" alone
        std::sort(o.kinds.begin(), o.kinds.end());
        o.kinds.erase(std::unique(o.kinds.begin(), o.kinds.end()), o.kinds.end());
    } else if (name == "lexicon") {
        o.lexicon = value;
    } else if (name == "to") {
        if (value == "kaldi")
            o.to = target::kaldi;
        else if (value == "jsonl")
            o.to = target::jsonl;
        else if (value == "textgrid")
            o.to = target::textgrid;
        else
            return bad("kaldi, jsonl or textgrid");
        o.to_given = true;
    } else if (name == "write-wav" || name == "no-write-wav") {
        o.write_wav = name == "write-wav";
        o.write_wav_given = true;
    } else if (name == "tags") {
        if (value == "keep")
            o.keep_tags = true;
        else if (value == "drop")
            o.keep_tags = false;
        else
            return bad("keep or drop");
    } else if (name == "speaker") {
        if (value == "code")
            o.speakers = speaker_scope::code;
        else if (value == "dialog")
            o.speakers = speaker_scope::dialog;
        else
            return bad("code or dialog");
    } else if (name == "force") {
        o.force = true;
    } else if (name == "dialogs") {
        o.dialogs = true;
    } else if (name == "quenda2wav") {
        if (value.empty())
            return bad("a program");
        o.quenda2wav = value;
    } else if (name == "output") {
        o.html = value;
    } else if (name == "help") {
        o.what = command::help;
    } else if (name == "version") {
        o.what = command::version;
    }
    return true;
}

bool takes(std::string_view name, command c)
{
    for (const only_for& r : restricted_options())
        if (r.name == name)
            return std::find(r.commands.begin(), r.commands.end(), c) != r.commands.end();
    return true;
}

} // namespace

bool parse_options(const std::vector<std::string>& args, options& o, std::string& error)
{
    if (args.empty()) {
        error = "no subcommand (words, stats, pair, export or report)";
        return false;
    }
    const std::string_view first = args[0];
    if (first == "--help" || first == "-h") {
        o.what = command::help;
        return true;
    }
    if (first == "--version") {
        o.what = command::version;
        return true;
    }
    const auto* name = std::find(std::begin(command_names), std::end(command_names), first);
    if (name == std::end(command_names)) {
        error = "unknown subcommand " + quoted(first) + " (words, stats, pair, export or report)";
        return false;
    }
    const command c = static_cast<command>(name - std::begin(command_names));
    o.what = c;
    bool answered = false; // --help or --version: the rest is not read
    const bool read = command_line::read(
        args, 1, known_options,
        [&](const command_line::item& it) {
            if (!it.opt) {
                o.paths.emplace_back(it.value);
                return true;
            }
            if (!takes(it.opt->name, c)) {
                error = "option --" + std::string(it.opt->name) + " is not for " + std::string(first);
                return false;
            }
            if (!apply(it.opt->name, it.value, o, error))
                return false;
            answered = o.what == command::help || o.what == command::version;
            return !answered;
        },
        error);
    if (answered)
        return true;
    if (!read)
        return false;
    if (c == command::export_) {
        if (!o.to_given) {
            error = "export needs --to=kaldi, --to=jsonl or --to=textgrid";
            return false;
        }
        if (o.paths.empty()) {
            error = "export needs the folder to write, then the transliterations";
            return false;
        }
        o.folder = o.paths.front();
        o.paths.erase(o.paths.begin());
        // A JSON Lines manifest is for toolkits that read WAV files and
        // UTF-8 text; what it wrote before is one option away each.  Praat
        // reads its TextGrids in UTF-8.
        if (o.to == target::jsonl && !o.write_wav_given)
            o.write_wav = true;
        if (o.to != target::kaldi && !o.form_given)
            o.letters = form::utf8;
    }
    if (o.paths.empty()) {
        error = "no transliterations given (files or folders)";
        return false;
    }
    if ((c == command::pair || c == command::export_) && o.audio.empty()) {
        error = std::string(first) + " needs the recordings: --audio DIR";
        return false;
    }
    if (c == command::report && o.html.empty()) {
        error = "report needs the page to write: -o FILE";
        return false;
    }
    return true;
}

std::string usage_text()
{
    return "usage: quenda-corpus SUBCOMMAND [OPTION]... PATH...\n"
           "A checked corpus as data: word lists, statistics, transliterations paired with\n"
           "their recordings, an export for speech recognition, a report to look at.\n"
           "PATH: transliterations, files or folders (searched for *.trl), or - for standard input.\n"
           "\n"
           "Subcommands:\n"
           "  words PATH...                 the lexical elements by frequency\n"
           "      --form=written|utf8|echo  the letters as written (M\"uller), in UTF-8 (Müller),\n"
           "                                or the line velmar echoes (M\"ller)\n"
           "      --by=speaker|dialog       one list per speaker or dialog\n"
           "      --kinds=LIST              the tags instead: hesitation, speaker-noise,\n"
           "                                technical-noise, breathing, event, pause, silence,\n"
           "                                marks (initial and final marks), or all\n"
           "      --lexicon FILE            only the words not in FILE (one a line)\n"
           "  stats PATH... [--audio DIR]   counts per corpus, dialog and speaker\n"
           "  pair PATH... --audio DIR      turns and recordings (KEY.qnd) that do not pair\n"
           "  export --to=kaldi|jsonl|textgrid DIR PATH... --audio DIR\n"
           "                                the paired turns as a Kaldi data folder, a\n"
           "                                JSON Lines manifest, or for each dialog a WAV\n"
           "                                file of its turns and a Praat TextGrid\n"
           "      --write-wav               WAV files in DIR/wav rather than quenda2wav pipes\n"
           "                                (kaldi; jsonl writes them unless --no-write-wav)\n"
           "      --force                   write into a folder that is not empty\n"
           "      --quenda2wav=PROGRAM      the converter in wav.scp (default: quenda2wav)\n"
           "      --form=written|utf8       the words' letters (kaldi: written, else utf8)\n"
           "      --tags=keep|drop          hesitations, noises, breathing and events as tokens\n"
           "                                of the text, or not (the default)\n"
           "      --speaker=code|dialog     a speaker's id: its code, or its dialog and code\n"
           "                                (for speaker codes that repeat across dialogs)\n"
           "  report PATH... [--audio DIR] -o FILE\n"
           "                                one HTML page: the corpus at a glance\n"
           "      --dialogs                 and a page for each dialog in FILE's folder\n"
           "                                (dialog/NAME.html), with a player for each\n"
           "                                paired turn (its WAV file in dialog/NAME/)\n"
           "\n"
           "Options of all subcommands:\n"
           "  -j, --jobs=N          files read in parallel (default: one per processor)\n"
           "  --format=text|json|tsv\n"
           "                        for people (default), JSON Lines, or tab-separated\n"
           "  --keep-going          leave out the files with errors and end with status 0\n"
           "  --ext=SUFFIX          transliterations in folders (default .trl)\n"
           "  --audio DIR           recordings, files or folders; may be given more than once\n"
           "  --audio-ext=SUFFIX    recordings in folders (default .qnd)\n"
           "  -h, --help            this text\n"
           "  --version             the program's version\n"
           "\n"
           "A file with errors is named with its first error, as trl-check reports it, and\n"
           "left out.  Exit status: 0 when all is well; 1 when a file has errors (unless\n"
           "--keep-going) or something is reported (pair, export); 2 for a usage error, a\n"
           "path that cannot be read, or output that cannot be written.\n";
}

} // namespace corpus
