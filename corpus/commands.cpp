#include "corpus/commands.h"

#include "common/text.h"

namespace corpus {

void outcomes::note(const file_outcome& f)
{
    using st = file_outcome::status;
    const bool json = o_.output == format::json;
    switch (f.what) {
    case st::read:
        ++files_read;
        turns += f.turns;
        return;
    case st::left_out:
        left_out.push_back(f);
        if (json)
            out_.write(json_writer::object()
                           .field("type", "left_out")
                           .field("file", f.path)
                           .field("line", f.line)
                           .field("column", f.column)
                           .field("code", f.code)
                           .field("message", f.message)
                           .line());
        else
            complain(left_out_line(f));
        return;
    case st::unreadable:
    case st::empty_folder:
        path_error = true;
        if (json)
            out_.write(json_writer::object()
                           .field("type", f.what == st::unreadable ? "file_error" : "empty_folder")
                           .field("file", f.path)
                           .field("message", f.message)
                           .line());
        else
            complain(text::printable(f.path) + ": " + f.message);
        return;
    }
}

void outcomes::note_audio(const std::string& path, const std::string& reason)
{
    path_error = true;
    if (o_.output == format::json)
        out_.write(
            json_writer::object().field("type", "file_error").field("file", path).field("message", reason).line());
    else
        complain(text::printable(path) + ": " + reason);
}

int outcomes::status(bool reported) const
{
    if (path_error || out_.failed())
        return 2;
    if (reported || (!left_out.empty() && !o_.keep_going))
        return 1;
    return 0;
}

survey read_survey(const options& o, const survey_needs& needs, outcomes& seen)
{
    survey s;
    read_corpus(
        o, [&](unsigned) { return std::make_unique<survey_gatherer>(needs); },
        [&](file_outcome& f, std::unique_ptr<gatherer> g) {
            seen.note(f);
            if (g)
                s.merge(static_cast<survey_gatherer&>(*g), f.path);
            return true;
        });
    if (needs.vocabulary)
        s.count_distinct();
    return s;
}

} // namespace corpus
