%token IF 258 ELSE 259 X 260
%expect 1
%%
stmt : IF '(' X ')' stmt
     | IF '(' X ')' stmt ELSE stmt
     | X ';'
     ;
