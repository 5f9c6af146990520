/* Integer calculator: the generated header is compiled into the tests, so
 * its actions, embedded actions and $ references are run for real. */
%{
#include <string>
#include <vector>
namespace calc {
inline int result = 0;
inline std::vector<std::string> log;
}
%}

%token NUM 300
%token UNUSED 301
%start input

%%

input  : expr { calc::result = $1; }
       ;

expr   : expr '+' term { $$ = $1 + $3; }
       | expr '-' term { $$ = $1 - $3; }
       | term
       ;

term   : term '*' factor { $$ = $1 * $3; }
       | factor
       ;

factor : NUM
       | '(' expr ')' { $$ = $2; }
       | '[' expr { calc::log.push_back("mid " + std::to_string($1) + " " + std::to_string($2)); $$ = 7; }
         ',' expr ']'
         { $$ = $2 * 100 + $3 + $5; calc::log.push_back("end " + std::to_string($5) + " " + std::to_string($6)); }
       | '\'' factor { $$ = -$2; }
       ;

%%
namespace calc {
inline constexpr int epilogue_seen = 1;
}
