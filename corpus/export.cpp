// quenda-corpus export: the paired turns as a Kaldi data folder, a JSON
// Lines manifest, or each dialog as a recording and a Praat TextGrid.
//
// Writing is all or nothing: every file goes to a temporary name in the
// folder first, and only when all of them are complete are they renamed;
// a failure removes what was written, the folders made for it, and puts
// back the files that the renaming had replaced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <span>
#include <system_error>

#include "corpus/commands.h"
#include "corpus/stats.h"
#include "corpus/textgrid.h"
#include "common/text.h"
#include "convert/wav.h"

namespace corpus {

namespace {

namespace fs = std::filesystem;

std::string describe_errno(int e)
{
    return std::error_code(e, std::generic_category()).message();
}

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

// Files written under temporary names and renamed together.
class folder_writer {
public:
    explicit folder_writer(fs::path dir) : dir_(std::move(dir)) {}
    ~folder_writer() { discard(); }

    // A new file `name` (a path under the folder) with `bytes`; false with
    // the reason in `error`.
    bool write(const std::string& name, std::string_view bytes, std::string& error)
    {
        FILE* f = open(name, error);
        if (!f)
            return false;
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return close(f, name, ok, error);
    }

    // The same for a WAV file of the recording's samples.
    bool write_wav(const std::string& name, const recording& r, std::string& error)
    {
        const recording* const parts[] = {&r};
        return write_wav(name, parts, 0, error);
    }

    // A WAV file of the samples of `parts` one after another (all at the
    // first one's rate), `gap` samples of silence between two.
    bool write_wav(const std::string& name, std::span<const recording* const> parts, std::int64_t gap,
                   std::string& error)
    {
        std::uint64_t data = 0;
        for (const recording* r : parts)
            data += static_cast<std::uint64_t>(r->samples) * 2;
        data += static_cast<std::uint64_t>(gap) * 2 * (parts.size() - 1);
        if (data > wav::max_data_size) {
            error = text::printable(parts.size() == 1 ? parts[0]->path : name) + ": too many samples for a WAV file";
            return false;
        }
        FILE* f = open(name, error);
        if (!f)
            return false;
        const auto head = wav::header(static_cast<std::uint32_t>(parts[0]->rate), static_cast<std::uint32_t>(data));
        bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
        std::vector<char> buffer(std::size_t{1} << 16);
        for (std::size_t i = 0; ok && i < parts.size(); ++i) {
            if (i > 0)
                ok = write_silence(f, static_cast<std::uint64_t>(gap) * 2, buffer);
            ok = ok && copy_samples(f, *parts[i], buffer, error);
        }
        return close(f, name, ok, error);
    }

    // Renames every file to its name.  A file of that name (--force) is
    // put aside first, and back when a later renaming fails.
    bool commit(std::string& error)
    {
        std::vector<std::pair<fs::path, fs::path>> aside; // where the old file is, its name
        std::vector<fs::path> placed;
        bool ok = true;
        for (const auto& [temp, name] : files_) {
            std::error_code ec;
            std::error_code no_status; // a name not there yet
            const fs::file_status old = fs::symlink_status(name, no_status);
            if (fs::exists(old) && !fs::is_directory(old)) { // a folder stays, and the renaming fails
                const fs::path kept = temporary(name, ".old");
                fs::rename(name, kept, ec);
                if (!ec)
                    aside.emplace_back(kept, name);
            }
            if (!ec)
                fs::rename(temp, name, ec);
            if (ec) {
                error = text::printable(name.string()) + ": " + ec.message();
                ok = false;
                break;
            }
            placed.push_back(name);
        }
        std::error_code ec;
        if (ok) {
            for (const auto& [kept, name] : aside)
                fs::remove(kept, ec);
            files_.clear();
            made_.clear();
            return true;
        }
        for (const fs::path& name : placed)
            fs::remove(name, ec);
        for (const auto& [kept, name] : aside)
            fs::rename(kept, name, ec);
        return false;
    }

    // Removes the files not yet renamed and the folders made for them.
    void discard()
    {
        for (const auto& [temp, name] : files_) {
            std::error_code ec;
            fs::remove(temp, ec);
        }
        files_.clear();
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            std::error_code ec;
            fs::remove(*it, ec); // only when empty
        }
        made_.clear();
    }

private:
    // Copies the recording's samples to `f`; false with the reason in
    // `error` when they cannot be read (a write error is close's to name).
    static bool copy_samples(FILE* f, const recording& r, std::vector<char>& buffer, std::string& error)
    {
        FILE* in = std::fopen(r.path.c_str(), "rb");
        if (!in) {
            error = text::printable(r.path) + ": " + describe_errno(errno);
            return false;
        }
        bool ok = fseeko(in, static_cast<off_t>(r.header_bytes), SEEK_SET) == 0;
        for (auto left = static_cast<std::uint64_t>(r.samples) * 2; ok && left > 0;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            const std::size_t got = std::fread(buffer.data(), 1, want, in);
            ok = got == want && std::fwrite(buffer.data(), 1, got, f) == got;
            left -= got;
        }
        if (!ok && !std::ferror(f))
            error = text::printable(r.path) + ": shorter than its header says";
        std::fclose(in);
        return ok;
    }

    static bool write_silence(FILE* f, std::uint64_t bytes, std::vector<char>& buffer)
    {
        std::fill(buffer.begin(), buffer.end(), 0);
        for (std::uint64_t left = bytes; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            if (std::fwrite(buffer.data(), 1, n, f) != n)
                return false;
            left -= n;
        }
        return true;
    }

    // The name beside `final` that a file is written under, or kept under.
    static fs::path temporary(const fs::path& final, std::string_view ending)
    {
        return final.parent_path() /
               (".quenda-corpus-" + std::to_string(::getpid()) + "-" + final.filename().string() + std::string(ending));
    }

    FILE* open(const std::string& name, std::string& error)
    {
        const fs::path final = dir_ / name;
        const fs::path temp = temporary(final, ".tmp");
        // The folders on its way that are not there yet (wav/), made here
        // and removed with the files should the export fail.
        std::vector<fs::path> missing;
        std::error_code ec;
        for (fs::path p = final.parent_path(); p != dir_ && !p.empty() && !fs::exists(p, ec); p = p.parent_path())
            missing.push_back(p);
        fs::create_directories(final.parent_path(), ec);
        made_.insert(made_.end(), missing.rbegin(), missing.rend());
        FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) {
            error = text::printable(temp.string()) + ": " + describe_errno(errno);
            return nullptr;
        }
        files_.emplace_back(temp, final);
        return f;
    }
    bool close(FILE* f, const std::string& name, bool ok, std::string& error)
    {
        const int saved = errno;
        ok = std::fflush(f) == 0 && ok && !std::ferror(f);
        const int flush_error = errno ? errno : saved;
        if (std::fclose(f) != 0)
            ok = false;
        if (!ok && error.empty())
            error = text::printable((dir_ / name).string()) + ": " + describe_errno(flush_error ? flush_error : EIO);
        return ok;
    }

    fs::path dir_;
    std::vector<std::pair<fs::path, fs::path>> files_; // temporary name, name
    std::vector<fs::path> made_;                       // folders made, the outer first
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
