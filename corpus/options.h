// quenda-corpus's command line: a subcommand, its options and the paths.
#pragma once

#include <string>
#include <vector>

#include "language/reader.h"
#include "common/version.h"

namespace corpus {

// The most files read in parallel (-j).
inline constexpr unsigned max_jobs = 4096;

enum class command { words, stats, pair, export_, report, help, version };
enum class format { text, json, tsv };
enum class form { written, utf8, echo }; // how a lexical element's letters are written
enum class grouping { none, speaker, dialog };
enum class target { kaldi, jsonl, textgrid };
enum class speaker_scope { code, dialog }; // a speaker's id in an export: its code, or its dialog and code

struct options {
    command what = command::help;
    std::vector<std::string> paths;    // transliterations: files and folders
    std::vector<std::string> audio;    // recordings: files and folders (--audio)
    std::string suffix = ".trl";       // --ext
    std::string audio_suffix = ".qnd"; // --audio-ext
    unsigned jobs = 0;                 // 0: one per processor
    format output = format::text;
    bool keep_going = false;
    // words
    form letters = form::written;
    bool form_given = false;
    grouping by = grouping::none;
    std::vector<trl::kind> kinds; // --kinds: the tag inventory of these kinds
    bool marks = false;           // --kinds with initial-mark/final-mark
    std::string lexicon;          // --lexicon FILE
    // export
    target to = target::kaldi;
    bool to_given = false;
    std::string folder;     // the folder written
    bool write_wav = false; // --write-wav; with --to=jsonl, unless --no-write-wav
    bool write_wav_given = false;
    bool force = false;
    bool keep_tags = false; // --tags=keep: hesitations, noises, breathing and events as tokens of the text
    speaker_scope speakers = speaker_scope::code;
    std::string quenda2wav = "quenda2wav"; // the program in wav.scp's pipes
    // report
    std::string html;     // -o FILE
    bool dialogs = false; // --dialogs: a page for each dialog beside it
};

// Reads the arguments after the program name: the subcommand first (or
// --help, --version), then options GNU style: long ones as --name=value or
// --name value, -j N, -jN, -o FILE; "--" ends the options.  On a usage
// error returns false and sets `error`.
bool parse_options(const std::vector<std::string>& args, options& out, std::string& error);

std::string usage_text();

inline constexpr const char* version_text = "quenda-corpus (quenda tools) " QUENDA_TOOLS_VERSION "\n";

} // namespace corpus
