#include "corpus/files.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <new>
#include <system_error>

#include "language/catalogue.h"
#include "language/check.h"
#include "common/file_text.h"
#include "common/inputs.h"
#include "common/parallel.h"
#include "common/progress.h"
#include "common/text.h"

namespace corpus {

namespace {

// The elements of a turn handed to a gatherer at a time, at most (and a
// construct's more).
constexpr std::size_t elements_per_part = 4096;

// The first error of a text with errors, as trl-check reports it, and the
// counts of its codes.
void name_first_error(trl::checker& ck, std::string_view text, const trl::read_result& read, file_outcome& out)
{
    const trl::file_report report = ck.check(text);
    std::map<std::string, long> codes;
    const trl::diagnostic* first = nullptr;
    for (const trl::diagnostic& d : report.diagnostics) {
        const trl::code_info& info = trl::info(d.kind);
        ++codes[info.id];
        if (!first && !info.warning)
            first = &d;
    }
    out.codes.assign(codes.begin(), codes.end());
    if (first) {
        out.line = first->line;
        out.column = first->column;
        out.code = trl::info(first->kind).id;
        out.message = first->message;
        return;
    }
    // Both parse with the same tables; should they ever disagree, the
    // reader's own error is named.
    const std::size_t offset = read.first_error ? read.first_error->offset : 0;
    const trl::line_counter::position at = trl::line_counter{text}.at(std::min(offset, text.size()));
    out.line = at.line;
    out.column = at.column;
    out.message = "syntax error";
}

// Reads and gathers one input.
file_outcome read_one(const inputs::input_file& in, trl::reader& reader, trl::checker& ck, files::file_text& source,
                      const make_gatherer& make, unsigned spare, std::unique_ptr<gatherer>& g)
{
    file_outcome out;
    out.path = inputs::shown_path(in.path);
    if (in.what != inputs::input_file::kind::file) {
        out.what = in.what == inputs::input_file::kind::empty_folder ? file_outcome::status::empty_folder
                                                                     : file_outcome::status::unreadable;
        out.message = in.error;
        return out;
    }
    if (!source.load(in.path, files::file_text::accept::regular_or_stdin)) {
        out.what = file_outcome::status::unreadable;
        out.message = source.error();
        return out;
    }
    const std::string_view text = source.text();
    g = make(spare);
    file_view where(out.path, text);
    // A long turn comes in parts, so that no more than a part's elements
    // are held at a time.
    trl::read_options options;
    options.elements_per_part = elements_per_part;
    const trl::read_result r = reader.read(
        text, [&](const trl::turn& t) { g->turn(t, where); }, options);
    if (r.too_large) {
        g.reset();
        out.what = file_outcome::status::unreadable;
        out.message = "too large to read (" + std::to_string(trl::max_text_size) + " bytes at most)";
        return out;
    }
    out.turns = r.turns;
    if (r.ok())
        g->finish();
    else {
        g.reset();
        out.what = file_outcome::status::left_out;
        name_first_error(ck, text, r, out);
    }
    return out;
}

file_outcome read_safely(const inputs::input_file& in, trl::reader& reader, trl::checker& ck, files::file_text& text,
                         const make_gatherer& make, unsigned spare, std::unique_ptr<gatherer>& g)
{
    file_outcome out;
    try {
        out = read_one(in, reader, ck, text, make, spare, g);
    } catch (const std::exception& e) {
        g.reset();
        out = file_outcome{};
        out.path = inputs::shown_path(in.path);
        out.what = file_outcome::status::unreadable;
        out.message = dynamic_cast<const std::bad_alloc*>(&e) ? std::string("not enough memory to read it")
                                                              : std::string("cannot read: ") + e.what();
    }
    text.release();
    return out;
}

} // namespace

void read_corpus(const options& o, const make_gatherer& make,
                 const std::function<bool(file_outcome&, std::unique_ptr<gatherer>)>& done)
{
    const std::vector<inputs::input_file> in = inputs::collect_inputs(o.paths, o.suffix);
    const unsigned threads = parallel::thread_count(o.jobs, in.size());
    const unsigned spare = (parallel::job_count(o.jobs) - threads) / threads;
    // What a reading thread keeps from file to file.
    struct reading {
        trl::reader reader;
        trl::checker ck;
        files::file_text text;
    };
    struct read_file {
        file_outcome out;
        std::unique_ptr<gatherer> g;
    };
    progress::line progress("quenda-corpus", "files read", in.size(), progress::line::clock::now());
    parallel::in_order<reading>(
        in.size(), threads,
        [&](reading& r, std::size_t i) {
            read_file f;
            f.out = read_safely(in[i], r.reader, r.ck, r.text, make, spare, f.g);
            return f;
        },
        [&](read_file& f, std::size_t) {
            if (f.out.what != file_outcome::status::read)
                progress.clear(); // what is said of the file stands on a line of its own
            return done(f.out, std::move(f.g));
        },
        [&](std::size_t n) { progress.show(n); });
    progress.clear();
}

std::string left_out_line(const file_outcome& f)
{
    return text::printable(f.path) + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) + ": error" +
           (f.code.empty() ? std::string() : "[" + f.code + "]") + ": " + f.message + " (file left out)";
}

} // namespace corpus
