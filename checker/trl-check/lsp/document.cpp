#include "checker/trl-check/lsp/document.h"

#include <utility>

namespace trl::lsp {

std::shared_ptr<const snapshot> make_snapshot(std::string uri, long version, std::uint64_t generation, encoding units,
                                              std::string text, std::shared_ptr<const file_bytes> file)
{
    auto s = std::make_shared<snapshot>();
    s->uri = std::move(uri);
    s->version = version;
    s->generation = generation;
    s->units = units;
    s->text = std::move(text);
    s->lines = line_index(s->text);
    s->file = std::move(file);
    return s;
}

void apply_change(std::string& text, const text_change& change, encoding units)
{
    if (!change.where) {
        text = change.text;
        return;
    }
    const line_index lines(text);
    const position_map map(text, lines, units);
    std::size_t from = map.offset(change.where->start);
    std::size_t to = map.offset(change.where->end);
    if (to < from)
        std::swap(from, to);
    text.replace(from, to - from, change.text);
}

std::shared_ptr<const snapshot> document_store::find(const std::string& uri) const
{
    const auto it = documents_.find(uri);
    return it == documents_.end() ? nullptr : it->second;
}

std::shared_ptr<const snapshot> document_store::update(const std::string& uri, long version, std::string text,
                                                       std::shared_ptr<const file_bytes> file)
{
    auto doc = make_snapshot(uri, version, ++generation_, units_, std::move(text), std::move(file));
    documents_[uri] = doc;
    return doc;
}

std::shared_ptr<const snapshot> document_store::change(const snapshot& doc, long version,
                                                       const std::vector<text_change>& changes)
{
    std::string text = doc.text;
    for (const text_change& c : changes)
        apply_change(text, c, units_);
    return update(doc.uri, version, std::move(text), doc.file);
}

} // namespace trl::lsp
