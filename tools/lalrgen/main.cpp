// lalrgen GRAMMAR_FILE TABLES_H [--namespace NAME] [--tokens TOKENS_H]
//         [--token-prefix PREFIX] [--report FILE] [--verbose] [--stats]
//
// Reads a grammar in yacc notation and writes the parse tables, and on
// request the token codes, a report of every state and the sizes.  A grammar
// must have exactly the shift/reduce conflicts that its %expect declares and
// no reduce/reduce conflict: then the program is quiet (--verbose names the
// conflicts all the same); otherwise it names them and fails.  Status 1 for
// a refused grammar, a usage error or a file that cannot be read or written,
// with the reason on standard error; the tables are then not written.
#include <iostream>
#include <string>

#include "tools/common/generator_cli.h"
#include "tools/lalrgen/lalrgen.h"

namespace {

std::string count(int n, const char* what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

} // namespace

int main(int argc, char** argv)
{
    std::string grammar_path, tables_path, tokens_path, token_prefix, report_path, name_space = "lalr_tables";
    bool verbose = false, stats = false;
    const generator_cli::command_line cli{
        "lalrgen",
        "Writes the LALR(1) parse tables of the grammar in GRAMMAR_FILE.",
        {"GRAMMAR_FILE", "TABLES_H"},
        {&grammar_path, &tables_path},
        {
            {"--namespace", "NAME", "the namespace of the tables (default lalr_tables)", &name_space},
            {"--tokens", "FILE", "also write the codes of the %token lines as this header", &tokens_path},
            {"--token-prefix", "PREFIX",
             "begins the token header's own names: PREFIXERROR_TOKEN, PREFIXUNDEFINED_TOKEN, PREFIXMAX_TOKEN and "
             "the enum prefixtoken (in lower case)",
             &token_prefix},
            {"--report", "FILE", "also write every state of the automaton, for reading, as this file", &report_path},
            {"--verbose", "", "name the conflicts even when %expect declares them", nullptr, &verbose},
            {"--stats", "", "print the sizes of the automaton and the tables on standard output", nullptr, &stats},
        }};
    if (const auto status = cli.parse(argc, argv))
        return *status;
    const auto text = cli.read(grammar_path);
    if (!text)
        return 1;
    const std::string where = "lalrgen: " + grammar_path + ":";

    lalrgen::grammar g;
    try {
        g = lalrgen::read_grammar(*text, grammar_path);
    } catch (const lalrgen::grammar_error& e) {
        std::cerr << where << e.line << ": " << e.what() << "\n";
        return 1;
    }
    for (const auto& w : g.warnings)
        std::cerr << "lalrgen: " << w << "\n";

    const lalrgen::automaton a = lalrgen::build_automaton(g);
    lalrgen::run_tables t;
    try {
        t = lalrgen::make_run_tables(a);
    } catch (const lalrgen::grammar_error& e) {
        std::cerr << where << " " << e.what() << "\n";
        return 1;
    }
    if (!report_path.empty() && !cli.write(report_path, lalrgen::describe_automaton(a, t)))
        return 1;

    const bool as_declared = a.sr_conflicts == g.expect && a.rr_conflicts == 0;
    if (!as_declared) {
        if (a.sr_conflicts != g.expect)
            std::cerr << where << " " << count(a.sr_conflicts, "shift/reduce conflict") << ", but %expect declares "
                      << g.expect << "\n";
        if (a.rr_conflicts != 0)
            std::cerr << where << " " << count(a.rr_conflicts, "reduce/reduce conflict") << ", but none is allowed\n";
    }
    if (!as_declared || verbose)
        for (const auto& c : lalrgen::describe_conflicts(a))
            std::cerr << where << " " << c << "\n";
    if (!as_declared)
        return 1;

    lalrgen::table_sizes sizes;
    const std::string tables = lalrgen::emit_tables(a, t, name_space, tables_path, &sizes);
    if (stats)
        std::cout << where << " " << a.states.size() << " states, " << g.rules.size() << " rules, " << g.num_terminals
                  << " terminals, " << g.num_nonterminals() << " nonterminals, "
                  << count(a.sr_conflicts, "shift/reduce conflict") << "; parse tables " << sizes.parse_bytes
                  << " bytes, trace info " << sizes.info_bytes << " bytes; " << t.folded_states
                  << " unit states folded, " << t.known_gotos << " known gotos and " << t.fused
                  << " fused reductions of empty rules\n";
    if (!tokens_path.empty() && !cli.write(tokens_path, lalrgen::emit_tokens(g, token_prefix)))
        return 1;
    return cli.write(tables_path, tables) ? 0 : 1;
}
