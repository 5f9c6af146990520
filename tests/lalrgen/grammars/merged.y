/* LR(1), but not LALR(1): the states after a e and b e merge. */
%%
s : 'a' e 'c' | 'a' f 'd' | 'b' f 'c' | 'b' e 'd' ;
e : 'e' ;
f : 'e' ;
