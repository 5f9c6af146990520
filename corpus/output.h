// What quenda-corpus writes: the pieces of its formats (aligned tables for people, tab-separated rows,
// JSON Lines).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/checked_stdout.h"
#include "common/json_writer.h"

namespace corpus {

inline constexpr const char* program = "quenda-corpus";

// A message on standard error: "quenda-corpus: " and the text.
void complain(std::string_view message);

// Standard output with every write checked (common/checked_stdout.h).
using output::checked_stdout;

// A table for people: columns aligned, numbers to the right.
class table {
public:
    explicit table(std::vector<std::string> header) : header_(std::move(header)) {}
    void row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    bool empty() const { return rows_.empty(); }
    const std::vector<std::string>& header() const { return header_; }
    const std::vector<std::vector<std::string>>& rows() const { return rows_; }
    std::string text() const; // aligned, with the header
    std::string tsv() const;  // the header and the rows, tab-separated

private:
    std::vector<std::string> header_;
    std::vector<std::vector<std::string>> rows_;
};

// A cell for TSV: tabs, line ends and the escaping rule's other bytes
// escaped (common/text's escape rule), so that every row stays one line.
std::string tsv_cell(std::string_view s);

// A number as people and JSON read it: seconds with up to three decimals
// ("0.256", "12"), whole numbers as they are.
std::string seconds_text(double seconds);
std::string number(std::int64_t n);
// "1 turn", "2 turns".
std::string counted(std::int64_t n, std::string_view one, std::string_view more);

} // namespace corpus
