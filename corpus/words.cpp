// quenda-corpus words: the lexical elements by frequency, or the tags.
#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "corpus/commands.h"
#include "corpus/counter.h"
#include "common/file_text.h"
#include "common/parallel.h"
#include "common/text.h"

namespace corpus {

namespace {

using trl::kind;

constexpr char group_end = '\37'; // after the speaker or dialog in a key
constexpr char kind_end = '\37';  // after the kind in a tag's key

// The name a mark is listed under in the tag inventory.
constexpr std::string_view initial_mark = "initial-mark";
constexpr std::string_view final_mark = "final-mark";

// Counting beside the reading: words go to a thread of their own in
// batches, so that a big file's words are counted while it is read.
class counting_thread {
public:
    explicit counting_thread(counter& c) : counts_(c), thread_([this] { run(); }) {}
    ~counting_thread()
    {
        try {
            close();
        } catch (...) {
            // the file's words are not wanted any more
        }
    }

    void add(std::string_view word)
    {
        batch_.words.append(word);
        batch_.ends.push_back(static_cast<std::uint32_t>(batch_.words.size()));
        if (batch_.words.size() >= batch_bytes)
            send();
    }
    // Counts what is left and waits for the thread; what failed there
    // (memory) is thrown here.
    void close()
    {
        if (!thread_.joinable())
            return;
        send();
        {
            const std::lock_guard<std::mutex> hold(lock_);
            closed_ = true;
        }
        changed_.notify_all();
        thread_.join();
        if (failure_)
            std::rethrow_exception(std::exchange(failure_, nullptr));
    }

private:
    static constexpr std::size_t batch_bytes = std::size_t{1} << 18;
    static constexpr std::size_t most_waiting = 8;
    struct batch {
        std::string words;
        std::vector<std::uint32_t> ends;
    };

    void send()
    {
        if (batch_.ends.empty())
            return;
        {
            std::unique_lock<std::mutex> hold(lock_);
            changed_.wait(hold, [&] { return waiting_.size() < most_waiting || failure_; });
            if (!failure_)
                waiting_.push_back(std::move(batch_));
        }
        changed_.notify_all();
        batch_ = batch{};
    }
    void run()
    {
        try {
            count();
        } catch (...) {
            const std::lock_guard<std::mutex> hold(lock_);
            failure_ = std::current_exception();
            waiting_.clear();
            closed_ = true; // what is sent now is dropped
        }
        changed_.notify_all();
    }
    void count()
    {
        for (;;) {
            batch b;
            {
                std::unique_lock<std::mutex> hold(lock_);
                changed_.wait(hold, [&] { return !waiting_.empty() || closed_; });
                if (waiting_.empty())
                    return;
                b = std::move(waiting_.front());
                waiting_.pop_front();
            }
            changed_.notify_all();
            std::uint32_t from = 0;
            for (const std::uint32_t end : b.ends) {
                counts_.add(std::string_view(b.words).substr(from, end - from));
                from = end;
            }
        }
    }

    counter& counts_;
    batch batch_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<batch> waiting_;
    bool closed_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

class words_gatherer : public gatherer {
public:
    words_gatherer(const options& o, unsigned spare) : o_(o)
    {
        if (spare > 0 && plain()) {
            try {
                beside_.emplace(counts);
            } catch (const std::system_error&) {
                // counted here
            }
        }
    }

    void finish() override
    {
        if (beside_)
            beside_->close();
    }

    void turn(const trl::turn& t, file_view&) override
    {
        if (plain()) { // the common case without a copy
            for (const trl::element& e : t.elements)
                if (trl::is_lexical(e.what)) {
                    if (beside_)
                        beside_->add(t.text(e.letters));
                    else
                        counts.add(t.text(e.letters));
                }
            return;
        }
        const bool tags = !o_.kinds.empty() || o_.marks;
        std::size_t group = 0;
        key_.clear();
        if (o_.by != grouping::none) {
            key_.append(o_.by == grouping::speaker ? t.id.speaker() : t.id.dialog());
            key_ += group_end;
            group = key_.size();
        }
        for (const trl::element& e : t.elements) {
            if (!tags) {
                if (trl::is_lexical(e.what)) {
                    key_.resize(group);
                    append_form(key_, t, e, o_.letters);
                    counts.add(key_);
                }
                continue;
            }
            if (std::binary_search(o_.kinds.begin(), o_.kinds.end(), e.what) && e.tag.size > 0)
                add_tag(group, trl::kind_name(e.what), t.text(e.tag));
            if (o_.marks && trl::is_lexical(e.what)) {
                if (e.init_mark.size > 0)
                    add_tag(group, initial_mark, t.text(e.init_mark));
                if (e.final_mark.size > 0)
                    add_tag(group, final_mark, t.text(e.final_mark));
            }
        }
    }

    counter counts;

private:
    bool plain() const
    {
        return o_.kinds.empty() && !o_.marks && o_.by == grouping::none && o_.letters == form::written;
    }

    void add_tag(std::size_t group, std::string_view name, std::string_view tag)
    {
        key_.resize(group);
        key_.append(name);
        key_ += kind_end;
        key_.append(tag);
        counts.add(key_);
    }

    const options& o_;
    std::string key_;
    std::optional<counting_thread> beside_; // last: it counts into `counts`
};

// The words of a lexicon: the first field of each line (up to a blank or
// a tab); empty lines and a carriage return at a line's end are ignored.
bool load_lexicon(const std::string& path, counter& words, std::string& error)
{
    files::file_text source;
    if (!source.load(path, files::file_text::accept::regular_or_stdin)) {
        error = source.error();
        return false;
    }
    std::string_view rest = source.text();
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = line.substr(0, line.find_first_of(" \t"));
        if (!line.empty())
            words.add(line);
    }
    return true;
}

// A word or tag for a terminal: as it is when it is printable ASCII (as
// the letters of words always are), else by the escaping rule.
void append_shown(std::string& out, std::string_view s)
{
    for (const char c : s)
        if (c <= ' ' || c > '~' || c == '\\') {
            out.append(text::printable(s));
            return;
        }
    out.append(s);
}

std::size_t digits(std::int64_t n)
{
    std::size_t d = 1;
    for (; n >= 10; n /= 10)
        ++d;
    return d;
}

void append_count(std::string& out, std::int64_t n, std::size_t width)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, n);
    const auto len = static_cast<std::size_t>(r.ptr - buf);
    if (len < width)
        out.append(width - len, ' ');
    out.append(buf, len);
}

// A key's parts: [group "\37"] word, or [group "\37"] kind "\37" tag.
struct key_parts {
    std::string_view group;
    std::string_view kind;
    std::string_view word; // or tag
};

// Reads keys into their parts, as the options made them.
struct key_reader {
    bool grouped;
    bool tags;

    key_parts operator()(std::string_view key) const
    {
        key_parts p;
        if (grouped) {
            const std::size_t g = key.find(group_end);
            p.group = key.substr(0, g);
            key = key.substr(g + 1);
        }
        if (tags) {
            const std::size_t k = key.find(kind_end);
            p.kind = key.substr(0, k);
            key = key.substr(k + 1);
        }
        p.word = key;
        return p;
    }
};

// Counts the words (or tags) of the corpus; the files are noted as they
// come, in order.  False when the output failed.
bool count_corpus(const options& o, outcomes& seen, checked_stdout& out, counter& counts)
{
    read_corpus(
        o, [&](unsigned spare) { return std::make_unique<words_gatherer>(o, spare); },
        [&](file_outcome& f, std::unique_ptr<gatherer> g) {
            seen.note(f);
            if (g)
                counts.merge(std::move(static_cast<words_gatherer&>(*g).counts));
            return !out.failed();
        });
    return !out.failed();
}

// The keys in the order they are listed: most frequent first, the words of
// the lexicon left out, and in groups by their names when grouped (their
// order kept within each).
memory::big_array<counter::ranked> listed(const options& o, const counter& counts, const counter& lexicon,
                                          const key_reader& parts)
{
    memory::big_array<counter::ranked> items = counts.sorted(parallel::job_count(o.jobs));
    if (!lexicon.empty())
        items.resize(static_cast<std::size_t>(std::remove_if(items.begin(), items.end(),
                                                             [&](const counter::ranked& r) {
                                                                 return lexicon.count(parts(counter::at(r).key).word) >
                                                                        0;
                                                             }) -
                                              items.begin()));
    if (parts.grouped)
        std::stable_sort(items.begin(), items.end(), [&](const counter::ranked& a, const counter::ranked& b) {
            return parts(counter::at(a).key).group < parts(counter::at(b).key).group;
        });
    return items;
}

// The widths of the columns for people: counts to the right, groups and
// kinds to the left.
struct column_widths {
    std::size_t count = 1;
    std::size_t group = 0;
    std::size_t kind = 0;
};

column_widths widths(const memory::big_array<counter::ranked>& items, const key_reader& parts)
{
    column_widths w;
    if (!items.empty())
        w.count = digits(items[0].count); // the largest, unless grouped
    if (parts.grouped || parts.tags) {
        for (const counter::ranked& r : items) {
            const key_parts p = parts(counter::at(r).key);
            w.group = std::max(w.group, p.group.size());
            w.kind = std::max(w.kind, p.kind.size());
            w.count = std::max(w.count, digits(r.count));
        }
    }
    return w;
}

// "ABC 12 ja" for people, aligned.
void append_text_line(std::string& line, const key_parts& p, std::int64_t count, const column_widths& w,
                      const key_reader& parts)
{
    if (parts.grouped) {
        line.append(p.group);
        line.append(w.group - p.group.size() + 1, ' ');
    }
    append_count(line, count, w.count);
    line += ' ';
    if (parts.tags) {
        line.append(p.kind);
        line.append(w.kind - p.kind.size() + 1, ' ');
    }
    append_shown(line, p.word);
    line += '\n';
}

// "ABC<TAB>12<TAB>ja".
void append_tsv_line(std::string& line, const key_parts& p, std::int64_t count, const key_reader& parts)
{
    if (parts.grouped)
        line.append(p.group) += '\t';
    append_count(line, count, 0);
    line += '\t';
    if (parts.tags)
        line.append(p.kind) += '\t';
    line.append(tsv_cell(p.word));
    line += '\n';
}

// {"type":"word","speaker":"ABC","word":"ja","count":12}
std::string json_line(const key_parts& p, std::int64_t count, const key_reader& parts, const char* group_name)
{
    json_writer::object j;
    j.field("type", parts.tags ? "tag" : "word");
    if (parts.grouped)
        j.field(group_name, p.group);
    if (parts.tags)
        j.field("kind", p.kind).field("tag", p.word);
    else
        j.field("word", p.word);
    return j.field("count", count).line();
}

} // namespace

int run_words(const options& o, checked_stdout& out)
{
    outcomes seen(o, out);
    counter lexicon;
    if (!o.lexicon.empty()) {
        std::string error;
        if (!load_lexicon(o.lexicon, lexicon, error)) {
            complain(text::printable(o.lexicon) + ": " + error);
            return 2;
        }
    }
    counter counts;
    if (!count_corpus(o, seen, out, counts))
        return 2;

    const key_reader parts{o.by != grouping::none, !o.kinds.empty() || o.marks};
    const memory::big_array<counter::ranked> items = listed(o, counts, lexicon, parts);
    const char* const group_name = o.by == grouping::speaker ? "speaker" : "dialog";
    column_widths w;
    if (o.output == format::text) {
        w = widths(items, parts);
    } else if (o.output == format::tsv) {
        std::string header = parts.grouped ? std::string(group_name) + "\t" : std::string();
        header += parts.tags ? "count\tkind\ttag\n" : "count\tword\n";
        out.write(header);
    }
    std::string line;
    // The strings are in the arena in the order they were first counted:
    // the next ones are asked for while this one is written.
    constexpr std::size_t ahead = 16;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k + ahead < items.size())
            __builtin_prefetch(items[k + ahead].key);
        counter::spelled room;
        const counter::item i = counter::at(items[k], room);
        const key_parts p = parts(i.key);
        line.clear();
        switch (o.output) {
        case format::text:
            append_text_line(line, p, i.count, w, parts);
            break;
        case format::tsv:
            append_tsv_line(line, p, i.count, parts);
            break;
        case format::json:
            line = json_line(p, i.count, parts, group_name);
            break;
        }
        out.write(line);
    }
    return seen.status(false);
}

} // namespace corpus
