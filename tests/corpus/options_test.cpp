// quenda-corpus's command line read into its options: each option's
// values, what each subcommand takes, where the export's folder comes
// from, and the message of every refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/options.h"

namespace {

using namespace corpus;

// The options that differ from their defaults, in one line.
std::string summary(const options& o)
{
    static const char* const commands[] = {"words", "stats", "pair", "export", "report", "help", "version"};
    std::string s = commands[static_cast<int>(o.what)];
    auto add = [&](const std::string& name, const std::string& value) { s += " " + name + "=" + value; };
    auto list = [](const std::vector<std::string>& v) {
        std::string l;
        for (const std::string& x : v)
            l += (l.empty() ? "" : "|") + x;
        return l;
    };
    if (!o.paths.empty())
        add("paths", list(o.paths));
    if (!o.audio.empty())
        add("audio", list(o.audio));
    if (o.suffix != ".trl")
        add("ext", o.suffix);
    if (o.audio_suffix != ".qnd")
        add("audio-ext", o.audio_suffix);
    if (o.jobs != 0)
        add("jobs", std::to_string(o.jobs));
    if (o.output != format::text)
        add("format", o.output == format::json ? "json" : "tsv");
    if (o.keep_going)
        add("keep-going", "1");
    if (o.letters != form::written)
        add("form", o.letters == form::utf8 ? "utf8" : "echo");
    if (o.by != grouping::none)
        add("by", o.by == grouping::speaker ? "speaker" : "dialog");
    if (!o.kinds.empty()) {
        std::vector<std::string> names;
        for (const trl::kind k : o.kinds)
            names.emplace_back(trl::kind_name(k));
        add("kinds", list(names));
    }
    if (o.marks)
        add("marks", "1");
    if (!o.lexicon.empty())
        add("lexicon", o.lexicon);
    if (o.to_given)
        add("to", o.to == target::kaldi ? "kaldi" : "jsonl");
    if (!o.folder.empty())
        add("folder", o.folder);
    if (o.write_wav)
        add("write-wav", "1");
    if (o.force)
        add("force", "1");
    if (o.keep_tags)
        add("tags", "keep");
    if (o.speakers != speaker_scope::code)
        add("speaker", "dialog");
    if (o.quenda2wav != "quenda2wav")
        add("quenda2wav", o.quenda2wav);
    if (!o.html.empty())
        add("html", o.html);
    if (o.dialogs)
        add("dialogs", "1");
    return s;
}

// The summary of the options read, or "error: " and the message.
std::string read(const std::vector<std::string>& args)
{
    options o;
    std::string error;
    return parse_options(args, o, error) ? summary(o) : "error: " + error;
}

TEST(CorpusOptions, EachOptionAndSubcommand)
{
    const struct {
        std::vector<std::string> args;
        std::string read;
    } cases[] = {
        {{"words", "a.trl"}, "words paths=a.trl"},
        {{"words", "a", "-", "b"}, "words paths=a|-|b"},
        {{"words", "--", "-j2", "--format=json"}, "words paths=-j2|--format=json"},
        {{"words", "-j", "4", "--format", "json", "x"}, "words paths=x jobs=4 format=json"},
        {{"words", "-j4096", "--format=tsv", "x"}, "words paths=x jobs=4096 format=tsv"},
        {{"words", "--jobs=1", "--format=text", "x"}, "words paths=x jobs=1"},
        {{"words", "--form=utf8", "--by=dialog", "x"}, "words paths=x form=utf8 by=dialog"},
        {{"words", "--form=echo", "--by=speaker", "x"}, "words paths=x form=echo by=speaker"},
        {{"words", "--form=utf8", "--form=written", "x"}, "words paths=x"},
        // Kinds in their order, each once; marks alone, or with all.
        {{"words", "--kinds=pause,hesitation,pause", "x"}, "words paths=x kinds=hesitation|pause"},
        {{"words", "--kinds=marks", "x"}, "words paths=x marks=1"},
        {{"words", "--kinds=silence,marks", "x"}, "words paths=x kinds=silence marks=1"},
        {{"words", "--kinds=all", "x"},
         "words paths=x kinds=hesitation|speaker-noise|technical-noise|breathing|event|pause|silence marks=1"},
        {{"words", "--kinds=all", "--kinds=event", "x"}, "words paths=x kinds=event"},
        {{"words", "--lexicon", "lex.txt", "--keep-going", "--ext=.TXT", "x"},
         "words paths=x ext=.TXT keep-going=1 lexicon=lex.txt"},
        {{"stats", "x", "--audio", "a1", "--audio=a2", "--audio-ext=.wav"}, "stats paths=x audio=a1|a2 audio-ext=.wav"},
        {{"pair", "x", "--audio", "a"}, "pair paths=x audio=a"},
        // The export's folder is its first operand, wherever the options are.
        {{"export", "--to=kaldi", "out", "x", "y", "--audio", "a"}, "export paths=x|y audio=a to=kaldi folder=out"},
        {{"export", "out", "--to", "jsonl", "x", "--audio", "a", "--write-wav", "--force", "--form=utf8"},
         "export paths=x audio=a form=utf8 to=jsonl folder=out write-wav=1 force=1"},
        // A manifest writes WAV files and UTF-8 text unless told otherwise;
        // Kaldi, neither.
        {{"export", "--to=jsonl", "out", "x", "--audio", "a"},
         "export paths=x audio=a form=utf8 to=jsonl folder=out write-wav=1"},
        {{"export", "--to=jsonl", "--form=written", "--no-write-wav", "out", "x", "--audio", "a"},
         "export paths=x audio=a to=jsonl folder=out"},
        {{"export", "--write-wav", "--no-write-wav", "--to=kaldi", "out", "x", "--audio", "a"},
         "export paths=x audio=a to=kaldi folder=out"},
        {{"export", "--to=kaldi", "--tags=keep", "--speaker", "dialog", "out", "x", "--audio", "a"},
         "export paths=x audio=a to=kaldi folder=out tags=keep speaker=dialog"},
        {{"export", "--to=kaldi", "--quenda2wav=/opt/q2w", "out", "x", "--audio", "a"},
         "export paths=x audio=a to=kaldi folder=out quenda2wav=/opt/q2w"},
        {{"report", "x", "-o", "r.html"}, "report paths=x html=r.html"},
        {{"report", "x", "--output=r.html", "--audio", "a"}, "report paths=x audio=a html=r.html"},
        {{"report", "x", "--dialogs", "-o", "out/index.html"}, "report paths=x html=out/index.html dialogs=1"},
        // --help and --version are answered wherever they stand.
        {{"--help"}, "help"},
        {{"-h", "whatever"}, "help"},
        {{"--version"}, "version"},
        {{"words", "x", "--help", "--bogus"}, "help paths=x"},
        {{"report", "-h"}, "help"},
        {{"words", "--version"}, "version"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.args), c.read) << ::testing::PrintToString(c.args);
}

TEST(CorpusOptions, Refusals)
{
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{}, "no subcommand (words, stats, pair, export or report)"},
        {{"word", "x"}, "unknown subcommand 'word' (words, stats, pair, export or report)"},
        {{"-j2", "words", "x"}, "unknown subcommand '-j2' (words, stats, pair, export or report)"},
        {{"words"}, "no transliterations given (files or folders)"},
        {{"words", "--keep-going"}, "no transliterations given (files or folders)"},
        {{"words", "-j0", "x"}, "invalid --jobs '0' (a whole number from 1 to 4096)"},
        {{"words", "-j4097", "x"}, "invalid --jobs '4097' (a whole number from 1 to 4096)"},
        {{"words", "--jobs=two", "x"}, "invalid --jobs 'two' (a whole number from 1 to 4096)"},
        {{"words", "--format=csv", "x"}, "invalid --format 'csv' (text, json or tsv)"},
        {{"words", "--form=latin1", "x"}, "invalid --form 'latin1' (written, utf8 or echo)"},
        {{"export", "--to=kaldi", "--form=echo", "o", "x", "--audio", "a"}, "invalid --form 'echo' (written or utf8)"},
        {{"words", "--by=file", "x"}, "invalid --by 'file' (speaker or dialog)"},
        {{"words", "--kinds=pause,word", "x"},
         "invalid --kinds 'pause,word' (a list of hesitation, speaker-noise, technical-noise, breathing, event, "
         "pause, silence, marks, or all)"},
        {{"words", "--kinds=", "x"},
         "invalid --kinds '' (a list of hesitation, speaker-noise, technical-noise, breathing, event, pause, "
         "silence, marks, or all)"},
        {{"words", "--ext=", "x"}, "invalid --ext '' (a suffix such as .trl)"},
        {{"stats", "--audio-ext=", "x"}, "invalid --audio-ext '' (a suffix such as .trl)"},
        {{"export", "--to=wav", "o", "x", "--audio", "a"}, "invalid --to 'wav' (kaldi, jsonl or textgrid)"},
        {{"export", "--to=kaldi", "--tags=all", "o", "x", "--audio", "a"}, "invalid --tags 'all' (keep or drop)"},
        {{"export", "--to=kaldi", "--speaker=name", "o", "x", "--audio", "a"},
         "invalid --speaker 'name' (code or dialog)"},
        {{"words", "--tags=keep", "x"}, "option --tags is not for words"},
        {{"export", "--to=kaldi", "--quenda2wav=", "o", "x", "--audio", "a"}, "invalid --quenda2wav '' (a program)"},
        // What some subcommands alone take.
        {{"words", "--audio", "a", "x"}, "option --audio is not for words"},
        {{"stats", "--form=utf8", "x"}, "option --form is not for stats"},
        {{"stats", "--by=speaker", "x"}, "option --by is not for stats"},
        {{"pair", "--kinds=all", "x", "--audio", "a"}, "option --kinds is not for pair"},
        {{"report", "--lexicon=l", "x", "-o", "r"}, "option --lexicon is not for report"},
        {{"words", "--to=kaldi", "x"}, "option --to is not for words"},
        {{"stats", "--write-wav", "x"}, "option --write-wav is not for stats"},
        {{"report", "--force", "x", "-o", "r"}, "option --force is not for report"},
        {{"pair", "--quenda2wav=q", "x", "--audio", "a"}, "option --quenda2wav is not for pair"},
        {{"words", "-o", "r", "x"}, "option --output is not for words"},
        {{"stats", "--dialogs", "x"}, "option --dialogs is not for stats"},
        // What some subcommands need.
        {{"pair", "x"}, "pair needs the recordings: --audio DIR"},
        {{"export", "--to=kaldi", "o", "x"}, "export needs the recordings: --audio DIR"},
        {{"export", "o", "x", "--audio", "a"}, "export needs --to=kaldi, --to=jsonl or --to=textgrid"},
        {{"export", "--to=jsonl", "--audio", "a"}, "export needs the folder to write, then the transliterations"},
        {{"export", "--to=jsonl", "o", "--audio", "a"}, "no transliterations given (files or folders)"},
        {{"report", "x"}, "report needs the page to write: -o FILE"},
        // The reader of the command line's own words.
        {{"words", "--jobs", "x"}, "invalid --jobs 'x' (a whole number from 1 to 4096)"},
        {{"words", "x", "--jobs"}, "option '--jobs' needs a value"},
        {{"words", "--keep-going=yes", "x"}, "option '--keep-going' takes no value"},
        {{"words", "--frob", "x"}, "unknown option '--frob'"},
        {{"words", "-q", "x"}, "unknown option '-q'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.args), "error: " + c.error) << ::testing::PrintToString(c.args);
}

} // namespace
