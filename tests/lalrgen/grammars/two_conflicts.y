/* Two dangling ELSEs (after IF and after UNLESS), one declared. */
%token IF 258 UNLESS 259 ELSE 260 X 261
%expect 1
%%
stmt : IF X stmt
     | IF X stmt ELSE stmt
     | UNLESS X stmt
     | UNLESS X stmt ELSE stmt
     | X ';'
     ;
