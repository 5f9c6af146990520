// quenda-corpus export: the paired turns as a Kaldi data folder, a JSON
// Lines manifest, or each dialog as a recording and a Praat TextGrid.
// Writing is all or nothing (folder_writer.h).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "corpus/commands.h"
#include "corpus/folder_writer.h"
#include "corpus/stats.h"
#include "corpus/textgrid.h"
#include "common/text.h"

namespace corpus {

namespace {

namespace fs = std::filesystem;

// A word for the shell: in single quotes, a quote inside as '\''.
std::string shell_word(std::string_view s)
{
    std::string out = "'";
    for (const char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// The program of wav.scp's pipes as a word for the shell: as it is when
// the shell reads it so (quenda2wav, a plain path), else quoted.
std::string shell_program(std::string_view s)
{
    const bool plain = !s.empty() && s[0] != '~' && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("_-./+,:@%").find(c) != std::string_view::npos;
    });
    return plain ? std::string(s) : shell_word(s);
}

// One turn to export.
struct utterance {
    std::string speaker; // the speaker's code, or with --speaker=dialog its dialog "_" code
    std::string id;      // speaker "-" key
    const trl::turn_id* turn;
    const std::string* words;
    const recording* rec;
    std::string audio; // the recording's path made absolute, or the WAV written
};

std::string kaldi_line(std::string_view id, std::string_view rest)
{
    std::string l(id);
    if (!rest.empty()) {
        l += ' ';
        l += rest;
    }
    l += '\n';
    return l;
}

// The Kaldi data folder's files, each sorted by its first field in byte
// order (the C locale).
std::vector<std::pair<std::string, std::string>> kaldi_files(const std::vector<utterance>& utts, const options& o)
{
    std::string text, utt2spk, wav_scp, utt2dur;
    std::map<std::string_view, std::vector<std::string_view>> speakers;
    for (const utterance& u : utts) { // sorted by id
        const std::string_view speaker = u.speaker;
        text += kaldi_line(u.id, *u.words);
        utt2spk += kaldi_line(u.id, speaker);
        speakers[speaker].push_back(u.id);
        wav_scp += kaldi_line(u.id, o.write_wav ? u.audio
                                                : shell_program(o.quenda2wav) + " " +
                                                      shell_word("quendafile=" + u.audio) + " wavfile=- |");
        utt2dur += kaldi_line(u.id, seconds_text(u.rec->seconds));
    }
    std::string spk2utt;
    for (const auto& [speaker, ids] : speakers) {
        spk2utt += speaker;
        for (const std::string_view id : ids) {
            spk2utt += ' ';
            spk2utt += id;
        }
        spk2utt += '\n';
    }
    return {{"text", text}, {"utt2spk", utt2spk}, {"spk2utt", spk2utt}, {"wav.scp", wav_scp}, {"utt2dur", utt2dur}};
}

std::string manifest(const std::vector<utterance>& utts)
{
    std::string m;
    for (const utterance& u : utts)
        m += json_writer::object()
                 .field("audio_filepath", u.audio)
                 .raw("duration", seconds_text(u.rec->seconds))
                 .field("text", *u.words)
                 .field("id", u.id)
                 .field("dialog", u.turn->dialog())
                 .field("turn", u.turn->number())
                 .field("speaker", u.speaker)
                 .field("sample_rate", u.rec->rate)
                 .field("samples", u.rec->samples)
                 .line();
    return m;
}

// A dialog of a TextGrid export: its turns in turn order.
struct dialog_turns {
    std::string_view name;
    std::vector<const utterance*> turns;
};

// The dialogs of the turns, each with its turns in turn order.  Their
// recordings share one rate: pairing takes only those at the corpus's
// common rate, and names the others.
std::vector<dialog_turns> dialogs_of(const std::vector<utterance>& utts)
{
    std::map<std::string_view, std::vector<const utterance*>> by_dialog;
    for (const utterance& u : utts)
        by_dialog[u.turn->dialog()].push_back(&u);
    std::vector<dialog_turns> out;
    for (auto& [name, turns] : by_dialog) {
        // In a dialog the key orders by turn number.
        std::sort(turns.begin(), turns.end(),
                  [](const utterance* a, const utterance* b) { return a->turn->key() < b->turn->key(); });
        out.push_back({name, std::move(turns)});
    }
    return out;
}

// Each dialog as one WAV file of its turns and a TextGrid of them.
bool write_dialogs(folder_writer& w, const std::vector<dialog_turns>& dialogs, std::string& error)
{
    bool ok = true;
    for (const dialog_turns& d : dialogs) {
        std::vector<const recording*> parts;
        std::vector<timed_turn> turns;
        for (const utterance* u : d.turns) {
            parts.push_back(u->rec);
            turns.push_back({u->turn->key(), u->speaker, *u->words, 0, u->rec->samples});
        }
        const timeline t = lay_out(parts.front()->rate, std::move(turns));
        ok = ok && w.write_wav(std::string(d.name) + ".wav", parts, turn_gap_samples(t.rate), error) &&
             w.write(std::string(d.name) + ".TextGrid", textgrid_text(t), error);
    }
    return ok;
}

// Whether the folder may be written: missing, empty, or --force.
bool folder_usable(const options& o, std::string& error)
{
    std::error_code ec;
    const fs::file_status st = fs::status(o.folder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        error = ec.message();
        return false;
    }
    if (!fs::exists(st))
        return true;
    if (!fs::is_directory(st)) {
        error = "not a folder";
        return false;
    }
    if (!o.force && !fs::is_empty(o.folder, ec)) {
        error = ec ? ec.message() : "the folder is not empty (--force writes into it)";
        return false;
    }
    return true;
}

} // namespace

int run_export(const options& o, checked_stdout& out)
{
    std::string error;
    if (!folder_usable(o, error)) {
        complain(text::printable(o.folder) + ": " + error);
        return 2;
    }
    outcomes seen(o, out);
    survey_needs needs;
    needs.places = needs.texts = true;
    needs.letters = o.letters;
    needs.text_tags = o.keep_tags;
    recordings recs;
    pairing p;
    const survey s = survey_with_recordings(o, needs, seen, &recs, &p);
    if (seen.path_error)
        return 2;

    // What keeps a turn out besides a missing recording is named; without
    // --keep-going it keeps the whole export from being written.
    bool named = false;
    for (const pair_problem& pr : p.problems) {
        if (pr.what == pair_problem::kind::turn_without_recording ||
            pr.what == pair_problem::kind::recording_without_turn)
            continue;
        complain(problem_line(pr));
        named = true;
    }
    std::vector<utterance> utts;
    for (const auto& [turn, rec] : p.paired) {
        utterance u;
        u.turn = &s.places[turn].id;
        u.speaker = std::string(u.turn->speaker());
        if (o.speakers == speaker_scope::dialog)
            u.speaker = std::string(u.turn->dialog()) + "_" + u.speaker;
        u.id = u.speaker + "-" + std::string(u.turn->key());
        u.words = &s.texts[turn];
        u.rec = &recs.found[rec];
        std::error_code ec;
        u.audio = fs::absolute(u.rec->path, ec).lexically_normal().string();
        if (u.audio.find('\n') != std::string::npos || u.audio.find('\r') != std::string::npos) {
            complain(text::printable(u.rec->path) + ": a line break in the path, which wav.scp cannot hold");
            named = true;
            continue;
        }
        utts.push_back(std::move(u));
    }
    if ((named || !seen.left_out.empty()) && !o.keep_going) {
        complain("nothing written (--keep-going writes the other turns)");
        return 1;
    }
    std::sort(utts.begin(), utts.end(), [](const utterance& a, const utterance& b) { return a.id < b.id; });

    std::error_code ec;
    const bool made = !fs::exists(o.folder, ec);
    fs::create_directories(o.folder, ec);
    if (ec) {
        complain(text::printable(o.folder) + ": " + ec.message());
        return 2;
    }
    folder_writer w{fs::path(o.folder)};
    bool ok = true;
    if (o.write_wav && o.to != target::textgrid) {
        const fs::path wav_dir = fs::absolute(o.folder, ec).lexically_normal() / "wav";
        for (utterance& u : utts) {
            const std::string name = "wav/" + std::string(u.turn->key()) + ".wav";
            ok = ok && w.write_wav(name, *u.rec, error);
            u.audio = (wav_dir / (std::string(u.turn->key()) + ".wav")).string();
        }
    }
    if (o.to == target::kaldi) {
        for (const auto& [name, bytes] : kaldi_files(utts, o))
            ok = ok && w.write(name, bytes, error);
    } else if (o.to == target::textgrid) {
        ok = ok && write_dialogs(w, dialogs_of(utts), error);
    } else {
        ok = ok && w.write("manifest.jsonl", manifest(utts), error);
    }
    ok = ok && w.commit(error);
    if (!ok) {
        w.discard();
        if (made)
            fs::remove_all(o.folder, ec);
        complain(error + " (nothing written)");
        return 2;
    }
    const std::string summary =
        counted(static_cast<long>(utts.size()), "turn", "turns") + " exported to " + text::printable(o.folder) + "; " +
        counted(static_cast<long>(p.turns_without_recording), "turn", "turns") + " without a recording, " +
        counted(static_cast<long>(p.recordings_without_turn), "recording", "recordings") + " without a turn";
    if (o.output == format::json)
        out.write(json_writer::object()
                      .field("type", "summary")
                      .field("exported", static_cast<long>(utts.size()))
                      .field("turns_without_recording", static_cast<long>(p.turns_without_recording))
                      .field("recordings_without_turn", static_cast<long>(p.recordings_without_turn))
                      .line());
    else
        out.write(summary + "\n");
    return seen.status(false); // what was named has stopped the export unless --keep-going
}

} // namespace corpus
