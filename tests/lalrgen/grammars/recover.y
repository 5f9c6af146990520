/* Statements separated by ';' with error recovery: a bad statement is
 * skipped up to its ';' and parsing goes on. */
%{
#include <string>
#include <vector>
namespace recover {
inline std::vector<std::string> log;
}
%}

%token NUM 300

%%

lines : /* empty */
      | lines line
      ;

line  : expr ';'   { recover::log.push_back("= " + std::to_string($1)); }
      | error ';'  { recover::log.push_back("error"); }
      ;

expr  : expr '+' NUM { $$ = $1 + $3; }
      | NUM
      ;
