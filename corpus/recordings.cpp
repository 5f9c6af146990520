#include "corpus/recordings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <system_error>

#include "corpus/files.h"
#include "header/header.h"
#include "header/info.h"
#include "common/inputs.h"
#include "common/parallel.h"

namespace corpus {

namespace {

std::string base_name(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The key of a recording: its file name without the suffix (which a folder
// search matched in any letter case; a file named on the command line may
// have another).
std::string key_of(std::string_view path, std::string_view suffix)
{
    std::string name = base_name(path);
    if (name.size() > suffix.size()) {
        bool same = true;
        for (std::size_t i = 0; i < suffix.size(); ++i)
            same = same && std::tolower(static_cast<unsigned char>(name[name.size() - suffix.size() + i])) ==
                               std::tolower(static_cast<unsigned char>(suffix[i]));
        if (same)
            return name.substr(0, name.size() - suffix.size());
    }
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Reads the header of r.path with the header library.
void read_recording(recording& r)
{
    FILE* f = nullptr;
    struct stat st {};
    switch (quenda::open_regular_file(r.path.c_str(), f, st)) {
    case quenda::open_status::opened:
        break;
    case quenda::open_status::cannot_open:
        r.problem = std::error_code(errno, std::generic_category()).message();
        return;
    case quenda::open_status::not_regular:
        r.problem = "not a regular file";
        return;
    }
    struct closer {
        FILE* f;
        ~closer() { std::fclose(f); }
    } closing{f};
    const quenda::file_check check = quenda::check_quenda_file(f, st.st_size);
    if (check.read_error) {
        r.problem = std::error_code(errno ? errno : EIO, std::generic_category()).message();
        return;
    }
    if (!check.ok()) {
        r.problem = check.problem;
        return;
    }
    char* ort = nullptr;
    char* kan = nullptr;
    Quenda_header_2* h = read_header_of_this_host(f, &ort, &kan);
    if (ort)
        r.spoken = ort;
    std::free(ort);
    std::free(kan);
    if (!h) {
        r.problem = "the header cannot be read";
        return;
    }
    const quenda::file_info info = quenda::describe_file(*h, st.st_size);
    r.header_bytes = info.header_bytes;
    r.samples = info.samples;
    r.rate = h->isf;
    r.rate_plausible = info.rate_plausible;
    r.seconds = info.seconds;
    std::free(h);
}

} // namespace

std::string_view problem_name(pair_problem::kind k)
{
    switch (k) {
    case pair_problem::kind::turn_without_recording:
        return "turn-without-recording";
    case pair_problem::kind::recording_without_turn:
        return "recording-without-turn";
    case pair_problem::kind::key_twice:
        return "key-twice";
    case pair_problem::kind::unreadable_recording:
        return "unreadable-recording";
    case pair_problem::kind::empty_recording:
        return "empty-recording";
    case pair_problem::kind::rate_differs:
        return "rate-differs";
    case pair_problem::kind::text_differs:
        return "text-differs";
    }
    return "";
}

recordings find_recordings(const options& o)
{
    recordings out;
    for (const inputs::input_file& in : inputs::collect_inputs(o.audio, o.audio_suffix)) {
        if (in.usable()) {
            recording r;
            r.path = in.path;
            r.key = key_of(in.path, o.audio_suffix);
            out.found.push_back(std::move(r));
        } else {
            out.unusable.emplace_back(in.path, in.error);
        }
    }
    parallel::for_each(out.found.size(), parallel::thread_count(o.jobs, out.found.size()),
                       [&](std::size_t i) { read_recording(out.found[i]); });
    return out;
}

pairing pair_turns(const std::vector<turn_place>& turns, const std::vector<std::string>& files,
                   const std::vector<recording>& recs)
{
    pairing p;
    std::map<std::string_view, std::vector<std::size_t>> turn_keys;
    for (std::size_t i = 0; i < turns.size(); ++i)
        turn_keys[turns[i].key_view()].push_back(i);
    std::map<std::string_view, std::vector<std::size_t>> rec_keys;
    for (std::size_t i = 0; i < recs.size(); ++i)
        rec_keys[recs[i].key].push_back(i);

    // The most common rate among the recordings with samples (the lower
    // rate of two equally common ones).
    std::map<std::int32_t, std::size_t> rates;
    for (const recording& r : recs)
        if (r.problem.empty() && r.samples > 0 && r.rate_plausible)
            ++rates[r.rate];
    std::size_t most = 0;
    for (const auto& [rate, n] : rates)
        if (n > most)
            most = n, p.common_rate = rate;

    auto turn_place_text = [&](std::size_t i) { return files[turns[i].file] + ":" + std::to_string(turns[i].line); };
    for (const auto& [key, list] : turn_keys) {
        if (list.size() > 1) {
            pair_problem pr{pair_problem::kind::key_twice, std::string(key), {}, "turns"};
            for (std::size_t i : list)
                pr.places.push_back(turn_place_text(i));
            p.problems.push_back(std::move(pr));
        }
        const auto r = rec_keys.find(key);
        if (r == rec_keys.end()) {
            ++p.turns_without_recording;
            p.problems.push_back(
                {pair_problem::kind::turn_without_recording, std::string(key), {turn_place_text(list.front())}, ""});
        } else if (list.size() == 1 && r->second.size() == 1 && recs[r->second.front()].usable() &&
                   recs[r->second.front()].rate == p.common_rate) {
            p.paired.emplace_back(list.front(), r->second.front());
        }
    }
    for (const auto& [key, list] : rec_keys) {
        if (list.size() > 1) {
            pair_problem pr{pair_problem::kind::key_twice, std::string(key), {}, "recordings"};
            for (std::size_t i : list)
                pr.places.push_back(recs[i].path);
            p.problems.push_back(std::move(pr));
        }
        if (!turn_keys.contains(key)) {
            ++p.recordings_without_turn;
            for (std::size_t i : list)
                p.problems.push_back(
                    {pair_problem::kind::recording_without_turn, std::string(key), {recs[i].path}, ""});
        }
        for (std::size_t i : list) {
            const recording& r = recs[i];
            if (!r.problem.empty())
                p.problems.push_back({pair_problem::kind::unreadable_recording, r.key, {r.path}, r.problem});
            else if (r.samples == 0)
                p.problems.push_back({pair_problem::kind::empty_recording, r.key, {r.path}, ""});
            else if (!r.rate_plausible)
                p.problems.push_back({pair_problem::kind::rate_differs,
                                      r.key,
                                      {r.path},
                                      "isf " + std::to_string(r.rate) + " is not a plausible rate"});
            else if (r.rate != p.common_rate)
                p.problems.push_back(
                    {pair_problem::kind::rate_differs,
                     r.key,
                     {r.path},
                     std::to_string(r.rate) + " Hz, most recordings " + std::to_string(p.common_rate) + " Hz"});
        }
    }
    std::stable_sort(p.problems.begin(), p.problems.end(), [](const pair_problem& a, const pair_problem& b) {
        return a.what != b.what ? a.what < b.what : a.key < b.key;
    });
    return p;
}

} // namespace corpus
