// trl-lalrgen GRAMMAR_FILE OUT_H [--tokens TOKENS_H] [--namespace NAME] [--report FILE] [--stats]
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "lalrgen.h"

namespace {

int usage() {
    std::cerr << "usage: trl-lalrgen GRAMMAR_FILE OUT_H [--tokens TOKENS_H] [--namespace NAME] [--report FILE] [--stats]\n";
    return 1;
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    f.close();
    if (!f) {
        std::cerr << "trl-lalrgen: cannot write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string grammar_path, out_path, report_path, tokens_path, name_space = "trl_lalr";
    bool stats = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--namespace") {
            if (++i >= argc) return usage();
            name_space = argv[i];
        } else if (arg == "--tokens") {
            if (++i >= argc) return usage();
            tokens_path = argv[i];
        } else if (arg == "--report") {
            if (++i >= argc) return usage();
            report_path = argv[i];
        } else if (arg == "--stats") {
            stats = true;
        } else if (grammar_path.empty()) {
            grammar_path = arg;
        } else if (out_path.empty()) {
            out_path = arg;
        } else {
            return usage();
        }
    }
    if (out_path.empty()) return usage();

    std::ifstream in(grammar_path, std::ios::binary);
    if (!in) {
        std::cerr << "trl-lalrgen: cannot open " << grammar_path << "\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();

    lalrgen::grammar g;
    try {
        g = lalrgen::read_grammar(text.str(), grammar_path);
    } catch (const lalrgen::grammar_error& e) {
        std::cerr << grammar_path << ":" << e.line << ": " << e.what() << "\n";
        return 1;
    }
    for (const auto& w : g.warnings) std::cerr << w << "\n";

    lalrgen::automaton a = lalrgen::build_automaton(g);
    lalrgen::run_tables t;
    try {
        t = lalrgen::make_run_tables(a);
    } catch (const lalrgen::grammar_error& e) {
        std::cerr << grammar_path << ": " << e.what() << "\n";
        return 1;
    }
    for (const auto& c : lalrgen::describe_conflicts(a)) std::cerr << grammar_path << ": " << c << "\n";
    if (!report_path.empty() && !write_file(report_path, lalrgen::describe_automaton(a, t))) return 1;

    bool ok = true;
    if (a.sr_conflicts != g.expect) {
        std::cerr << grammar_path << ": " << a.sr_conflicts << " shift/reduce conflict"
                  << (a.sr_conflicts == 1 ? "" : "s") << ", expected " << g.expect << "\n";
        ok = false;
    }
    if (a.rr_conflicts != 0) {
        std::cerr << grammar_path << ": " << a.rr_conflicts << " reduce/reduce conflict"
                  << (a.rr_conflicts == 1 ? "" : "s") << "\n";
        ok = false;
    }
    if (!ok) return 1;

    lalrgen::table_sizes sizes;
    std::string header = lalrgen::emit_header(a, t, out_path, &sizes, name_space);
    if (stats)
        std::cout << grammar_path << ": " << a.states.size() << " states, " << g.rules.size() << " rules, "
                  << g.num_terminals << " terminals, " << g.num_nonterminals() << " nonterminals, "
                  << a.sr_conflicts << " shift/reduce conflicts; parse tables " << sizes.parse_bytes
                  << " bytes, trace info " << sizes.info_bytes << " bytes; " << t.folded_states
                  << " unit states folded, " << t.known_gotos << " known gotos and " << t.fused
                  << " fused reductions of empty rules\n";
    if (!tokens_path.empty() && !write_file(tokens_path, lalrgen::emit_tokens_header(g))) return 1;
    return write_file(out_path, header) ? 0 : 1;
}
