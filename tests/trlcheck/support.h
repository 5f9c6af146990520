// Helpers of the trl-check tests: texts, temporary folders, running the
// programs, and a small JSON reader to parse their output back.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One turn: identification g012abc3_NUMBER_000000, a colon and a blank, the
// running text, the end of its line and the empty line that ends the turn.
std::string turn(std::string_view number, std::string_view text);

// A folder under the temporary folder, removed with everything in it when
// the object goes.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    // Writes a file (creating the folders on its way) and returns its path.
    std::string write(const std::string& name, std::string_view content) const;

private:
    std::string path_;
};

std::string read_file(const std::string& path);

struct run_result {
    int status;        // exit status, or -1 if the program did not exit normally
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs a shell command line with `in` on standard input.  The line may
// redirect standard output itself (then `out` stays empty).
run_result run_shell(const std::string& command, std::string_view in = {});

// The words as one shell-quoted command line.
std::string shell_line(const std::vector<std::string>& words);

// Runs trl-check with these arguments.
run_result run_trl_check(const std::vector<std::string>& args, std::string_view in = {});

// A JSON value, as far as the tests need it.
struct json {
    enum class kind { null, boolean, number, string, array, object } type = kind::null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<json> array;
    std::map<std::string, json> object;

    const json& operator[](const std::string& key) const;   // a null value when missing
    bool has(const std::string& key) const { return object.count(key) > 0; }
};

// Parses one JSON text; throws std::runtime_error when it is not valid
// JSON (or has anything but white space after the value).
json parse_json(std::string_view text);

// Parses JSON Lines: one value per non-empty line.
std::vector<json> parse_json_lines(std::string_view text);
