/* Words and numbers as runs of one-byte tokens: each letter's action in
 * turn, a mark after a letter (an empty rule fused into the letter's rule),
 * and numbers (DIGIT, whose value is the digit), whose rule sets $$, has
 * no empty symbol and reduces without a look-ahead: the cycles that
 * the direct code takes a run of in one step. */
%{
#include <string>
namespace runs {
inline std::string log;
}
%}

%token DIGIT 300

%%

text    : /* empty */
        | text item
        ;

item    : word ' ' { runs::log += ' '; }
        | number ' ' { runs::log += '=' + std::to_string($1) + ' '; }
        ;

word    : letters
        ;

letters : letter mark { runs::log += static_cast<char>($1); }
        | letters letter mark { runs::log += static_cast<char>($2); }
        ;

letter  : small
        | capital
        ;

small   : 'a' | 'b' | 'c'
        ;

capital : 'A' | 'B'
        ;

mark    : /* empty */
        | '!' { runs::log += '!'; }
        ;

number  : DIGIT { $$ = $1 - '0'; }
        | number DIGIT { $$ = ($1 * 10 + $2 - '0') % 100000; runs::log += '#'; }
        ;
