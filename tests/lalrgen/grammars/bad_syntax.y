%token A 258
%%
s : A t
  | A ':' : t
  ;
t : A ;
