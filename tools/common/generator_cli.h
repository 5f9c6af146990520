// What the table generators' programs share: one command line (the files in
// a fixed order, options "--name VALUE" or "--name" anywhere among them,
// --help), reading the input file whole and writing each output file whole.
// Every message begins with the program's name.
#pragma once

#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace generator_cli {

// An option: one that takes a value stores it in `value`, a switch sets
// `flag`.
struct option {
    std::string_view name;       // with its leading "--"
    std::string_view value_name; // what the value is, for the usage
    std::string_view help;       // one line for --help
    std::string* value = nullptr;
    bool* flag = nullptr;
};

struct command_line {
    std::string_view program;
    std::string_view purpose;                 // one line for --help
    std::vector<std::string_view> file_names; // as the usage names them
    std::vector<std::string*> files;          // where each goes
    std::vector<option> options;

    // (Appended piece by piece: GCC 12 sees a false overlap in chained
    // string concatenation.)
    std::string usage() const
    {
        std::string u = "usage: ";
        u += program;
        for (std::string_view f : file_names) {
            u += ' ';
            u += f;
        }
        for (const option& o : options) {
            u += " [";
            u += o.name;
            if (o.value) {
                u += ' ';
                u += o.value_name;
            }
            u += ']';
        }
        u += '\n';
        return u;
    }

    // Reads the arguments.  Returns the status to end with at once: 0 after
    // --help, 1 after a usage error (reported), or nothing to go on.
    std::optional<int> parse(int argc, char** argv) const
    {
        std::size_t next_file = 0;
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            if (arg == "--help") {
                std::cout << usage() << purpose << "\n\n";
                for (const option& o : options)
                    std::cout << "  " << o.name << (o.value ? " " : "") << o.value_name << "\n      " << o.help << "\n";
                std::cout.flush();
                return std::cout ? 0 : 1;
            }
            if (arg.starts_with("--")) {
                const option* found = nullptr;
                for (const option& o : options)
                    if (o.name == arg)
                        found = &o;
                if (!found)
                    return usage_error("unknown option '" + std::string(arg) + "'");
                if (found->flag) {
                    *found->flag = true;
                } else if (++i < argc) {
                    *found->value = argv[i];
                } else {
                    return usage_error("option " + std::string(arg) + " needs a value");
                }
            } else if (next_file < files.size()) {
                *files[next_file++] = arg;
            } else {
                return usage_error("one file too many: '" + std::string(arg) + "'");
            }
        }
        if (next_file < files.size())
            return usage_error("no " + std::string(file_names[next_file]) + " given");
        return std::nullopt;
    }

    int usage_error(const std::string& message) const
    {
        std::cerr << program << ": " << message << "\n" << usage();
        return 1;
    }

    // The whole file at `path`, or nothing (reported).  A folder opens as
    // a file here but reads as nothing: it is refused by name.
    std::optional<std::string> read(const std::string& path) const
    {
        std::error_code ec;
        std::ifstream in(path, std::ios::binary);
        if (!in || std::filesystem::is_directory(path, ec)) {
            std::cerr << program << ": cannot read " << path << "\n";
            return std::nullopt;
        }
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Writes `text` as the file at `path`; false (reported) when it fails.
    bool write(const std::string& path, const std::string& text) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out)
            std::cerr << program << ": cannot write " << path << "\n";
        return static_cast<bool>(out);
    }
};

} // namespace generator_cli
