// lexgen RULES_FILE TABLES_H [--namespace NAME] [--stats]
//
// Reads a rule file and writes the scanner's tables with the actions of the
// rules written as code.  Quiet unless asked (--stats) or refused: status 1
// for a refused rule file, a usage error or a file that cannot be read or
// written, with the reason on standard error.
#include <iostream>
#include <string>

#include "tools/common/generator_cli.h"
#include "tools/lexgen/lexgen.h"

int main(int argc, char** argv)
{
    std::string rules_path, tables_path, name_space = "dfa_tables";
    bool stats = false;
    const generator_cli::command_line cli{
        "lexgen",
        "Writes the tables of the scanner that RULES_FILE describes, with its actions written as code.",
        {"RULES_FILE", "TABLES_H"},
        {&rules_path, &tables_path},
        {
            {"--namespace", "NAME", "the namespace of the tables (default dfa_tables)", &name_space},
            {"--stats", "", "print the sizes of the automata on standard output", nullptr, &stats},
        }};
    if (const auto status = cli.parse(argc, argv))
        return *status;
    const auto text = cli.read(rules_path);
    if (!text)
        return 1;

    try {
        const lexgen::rule_set rules = lexgen::read_rules(*text, rules_path);
        const lexgen::automaton dfa = lexgen::build_automaton(rules);
        if (!cli.write(tables_path, lexgen::emit_tables(rules, dfa, name_space, tables_path)))
            return 1;
        if (stats)
            std::cout << "lexgen: " << rules_path << ": " << rules.rules.size() << " rules, " << dfa.nfa_states
                      << " NFA states, " << dfa.subset_states << " DFA states before minimisation, " << dfa.num_states
                      << " states, " << dfa.num_classes << " byte classes, " << lexgen::make_run_tables(dfa).bytes
                      << " table bytes\n";
    } catch (const lexgen::rules_error& e) {
        std::cerr << "lexgen: " << rules_path << ":" << e.line << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
