// trl-lexgen RULES_FILE TABLES_H ACTIONS_INC
//
// Reads a rule file and writes the scanner automaton's tables and the rule
// actions.  Prints the automaton's size on standard output.  Exit status 1 on
// a refused rule file or an I/O failure.
#include "lexgen.h"

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

bool write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: trl-lexgen RULES_FILE TABLES_H ACTIONS_INC\n";
        return 1;
    }
    const std::string rules_path = argv[1];
    std::ifstream in(rules_path, std::ios::binary);
    if (!in) {
        std::cerr << "trl-lexgen: cannot read " << rules_path << '\n';
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();

    try {
        lexgen::RuleSet rules = lexgen::parse_rules(text.str(), rules_path);
        lexgen::Dfa dfa = lexgen::build_dfa(rules);
        std::ostringstream tables, actions;
        lexgen::write_tables(tables, rules, dfa, rules_path);
        lexgen::write_actions(actions, rules, rules_path);
        if (!write_file(argv[2], tables.str()) || !write_file(argv[3], actions.str())) {
            std::cerr << "trl-lexgen: cannot write the output files\n";
            return 1;
        }
        const lexgen::RunTables run = lexgen::run_tables(dfa);
        std::cout << "trl-lexgen: " << rules.rules.size() << " rules, " << dfa.nfa_states << " NFA states, "
                  << dfa.subset_states << " DFA states before minimisation, " << dfa.num_states << " states, "
                  << dfa.num_classes << " byte classes, " << run.bytes << " table bytes\n";
    } catch (const lexgen::Error& e) {
        std::cerr << "trl-lexgen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
