/* Grammar of the transliteration conventions checked by velmar.
 *
 * lalrgen turns this file into the parse tables and the reduction
 * actions that trlparse (trlparse.cpp) runs.  Every symbol carries one int:
 * a token's value is trllval at the time it is shifted, a production's value
 * is that of its first right-side symbol.  The actions only fill and print
 * the echo buffer of velmar.h.
 */

%{
#include "checker/velmar.h"
%}

/* All named tokens of the scanner, with their codes and what messages call
 * them; lalrgen writes the codes into velmar.tokens.h for the scanner.
 * ZCMT, LCMT and PP are used by no production. */
%token KOM     258 "'--'"
%token FS      259 "'<*' before a language code"
%token SPP     260 "a speaker mark after a word (such as 1@)"
%token SPA     261 "a speaker mark before a word (such as @1)"
%token ZCMT    262 "ZCMT"
%token LCMT    263 "LCMT"
%token N       264 "a digit 1-9"
%token WS      265 "a blank"
%token MC      266 "a capital letter"
%token UML_MC  267 "a capital umlaut (\"A \"O \"U)"
%token L       268 "a small letter"
%token UML_L   269 "an umlaut (\"a \"o \"u \"s)"
%token HSALL   270 "a hesitation tag (such as <ah>)"
%token MGER    271 "a speaker-noise tag (such as <Laugh>)"
%token TGER    272 "a technical-noise tag (such as <#Klopfen>)"
%token NEWLINE 273 "a line break"
%token AKA     274 "'<!' opening a pronunciation comment"
%token MRKA    275 "a language marker (such as '<*tGER> ')"
%token TAB     276 "'<*T>'"
%token TABT    277 "'<*T>t'"
%token ATM     278 "a breathing tag (<A> or <B>)"
%token UVS     279 "'<%>'"
%token KLE     280 "':>' closing a noise bracket"
%token KLA     281 "'<:' opening a noise bracket"
%token WHA     282 "'+/' opening a repair"
%token WHE     283 "'/+' closing a repair"
%token NSA     284 "'-/' opening a false start"
%token NSE     285 "'/-' closing a false start"
%token PAU     286 "a pause '<P>'"
%token PP      287 "'<PP> '"
%token ZOG     288 "a length mark (<L> or <Z>)"
%token TAA     289 "'<T_>'"
%token TAE     290 "'<_T>'"
%token END     291 "an empty line ending the turn"

/* What each construct is called in messages about errors inside it. */
%describe turn                    "turn"
%describe turn_identification     "turn identification"
%describe dialog_name             "dialog name"
%describe turn_number             "turn number"
%describe cdrom_number            "CD-ROM number"
%describe word_main_part          "word"
%describe clean_word              "word"
%describe spkinf_word             "word"
%describe spelled_letter          "spelled letter"
%describe compound_part           "compound word"
%describe noise_word              "noise bracket"
%describe init_noise_bracket      "noise bracket"
%describe disconnected_word       "disconnected word"
%describe left_disword_half       "disconnected word"
%describe right_disword_half      "disconnected word"
%describe pronunc_comment         "pronunciation comment"
%describe event                   "event"
%describe spkinf_event            "event"
%describe pause_seg               "pause"
%describe spkinf_pause            "pause"
%describe repair                  "repair"
%describe false_start             "false start"
%describe lex_turn_end            "end of the turn"
%describe event_turn_end          "end of the turn"

%start dialog

/* One shift/reduce conflict: after an event and a blank, END may be shifted
 * (event_turn_end : WS END) or the blank reduced to a space (event space
 * event_link with a bare END).  Shifting is taken; both accept the same
 * texts and neither has an action. */
%expect 1

%%

/* Dialog, turns and turn identification */

dialog                   : multiple_turns
                         ;

multiple_turns           : turn
                         | multiple_turns turn
                         ;

turn                     : turn_identification { initbuffer(); } turn_segments
                         ;

turn_identification      : dialog_name turn_number { print_header(); } cdrom_number ':' WS turn_language
                         ;

dialog_name              : L z z z L L L z '_'
                         ;

turn_number              : z z z '_' MC MC MC '_'
                           {
                               append_char($1); append_char($2); append_char($3);
                               append_char($4);
                               append_char($5); append_char($6); append_char($7);
                           }
                         | z z z '_' MC MC z '_'
                         ;

cdrom_number             : z z z z z z
                         ;

z                        : '0'
                         | N
                         ;

turn_language            : /* empty */
                         | MRKA
                         ;

language_id              : MC MC MC
                         ;

space                    : WS
                         | NEWLINE WS
                         ;

/* Turn segments */

turn_segments            : lex_seg
                         | event_seg
                         | agram_seg
                         ;

lex_seg                  : lex lex_seg_link
                         ;

lex                      : lexical_element space pronunc_segment
                         ;

lex_seg_link             : lex_turn_end
                         | lex_seg_next
                         ;

lex_turn_end             : fin_punctuation END
                         | fin_punctuation WS END
                         | TABT WS END
                         | TABT END
                         ;

fin_punctuation          : '.'
                         | '?'
                         ;

lex_seg_next             : fin_punctuation space to_turn_segments
                         | comma to_turn_segments
                         ;

comma                    : /* empty */
                         | ',' space
                         ;

to_turn_segments         : silence_seg turn_segments
                         | turn_segments
                         ;

silence_seg              : TAB space
                         | pause_seg space
                         ;

pause_seg                : PAU
                         | spkinf_pause
                         ;

spkinf_pause             : PAU SPP '>'
                         ;

/* Lexical elements, letters and words */

lexical_element          : word { print_line(); }
                         | noise_word { print_line(); }
                         | disconnected_word { print_line(); }
                         ;

capital_letter           : MC
                         | UML_MC
                         ;

small_letter             : L
                         | UML_L
                         ;

length_sound             : /* empty */
                         | ZOG
                         ;

letter_sequence          : small_letter length_sound { append_char($1); }
                         | capital_letter length_sound { append_char($1); }
                         | multiple_letter capital_letter length_sound { append_char($2); }
                         | multiple_letter small_letter length_sound { append_char($2); }
                         ;

multiple_letter          : small_letter length_sound { append_char($1); }
                         | capital_letter length_sound { append_char($1); }
                         | multiple_letter small_letter length_sound { append_char($2); }
                         | multiple_letter capital_letter length_sound { append_char($2); }
                         ;

word                     : clean_word
                         | spkinf_word
                         ;

clean_word               : word_main_part word_fin_tag
                         ;

word_main_part           : word_init_tag word_body compound_sequence
                         ;

word_init_tag            : /* empty */
                         | '*'
                         | FS language_id '>'
                         | TAA
                         | '#'
                         | '~'
                         | KOM
                         ;

word_body                : letter_sequence
                         | spelled_letter
                         | apostro_lett_seq
                         ;

spelled_letter           : '$' capital_letter length_sound spell_lett_plural { append_char($2); }
                         ;

spell_lett_plural        : /* empty */
                         | small_letter length_sound
                         ;

apostro_lett_seq         : '\'' letter_sequence
                         | letter_sequence '\'' letter_sequence
                         | letter_sequence '\''
                         ;

compound_sequence        : /* empty */
                         | multiple_compounds
                         ;

multiple_compounds       : compound_part
                         | multiple_compounds compound_part
                         ;

compound_part            : '-' word_body
                         ;

word_fin_tag             : /* empty */
                         | '='
                         | '%'
                         | KOM
                         | TAE
                         ;

spkinf_word              : SPA clean_word
                         | clean_word SPP
                         ;

noise_word               : init_noise_bracket noise_word_element
                         ;

init_noise_bracket       : KLA multiple_noises
                         ;

multiple_noises          : noise_element space
                         | multiple_noises noise_element space
                         ;

noise_word_element       : word KLE
                         ;

/* Disconnected words */

disconnected_word        : left_disword_half space word_interrupt right_disword_half
                         ;

left_disword_half        : left_disword
                         | init_noise_bracket left_noise_disword
                         ;

left_disword             : left_clean_disword
                         | left_spkinf_disword
                         ;

left_clean_disword       : word_main_part '_'
                         ;

left_spkinf_disword      : SPA left_clean_disword
                         | left_clean_disword SPP
                         ;

left_noise_disword       : left_disword KLE
                         ;

word_interrupt           : multiple_repairs
                         | turn_inter_seg multiple_repairs
                         | turn_inter_seg
                         | silence_seg multiple_repairs
                         | silence_seg turn_inter_seg
                         | silence_seg
                         ;

right_disword_half       : fin_disword_element
                         | multiple_mid_diswords fin_disword_element
                         ;

multiple_mid_diswords    : mid_disword_element space word_interrupt
                         | multiple_mid_diswords mid_disword_element space word_interrupt
                         ;

fin_disword_element      : fin_disword
                         | init_noise_bracket fin_noise_disword
                         ;

fin_disword              : fin_clean_disword
                         | fin_spkinf_disword
                         ;

fin_clean_disword        : '_' fin_main_disword compound_sequence word_fin_tag
                         ;

fin_main_disword         : word_body
                         | compound_part
                         ;

fin_spkinf_disword       : SPA fin_clean_disword
                         | fin_clean_disword SPP
                         ;

fin_noise_disword        : fin_disword KLE
                         ;

mid_disword_element      : mid_disword
                         | init_noise_bracket mid_noise_disword
                         ;

mid_disword              : mid_clean_disword
                         | mid_spkinf_disword
                         ;

mid_clean_disword        : '_' fin_main_disword compound_sequence '_'
                         ;

mid_spkinf_disword       : SPA mid_clean_disword
                         | mid_clean_disword SPP
                         ;

mid_noise_disword        : mid_disword KLE
                         ;

/* Pronunciation comments */

pronunc_segment          : /* empty */
                         | pronunc_comment
                         ;

pronunc_comment          : AKA N space multiple_pronunc_words '>' space
                         ;

multiple_pronunc_words   : pronunc_word
                         | multiple_pronunc_words space pronunc_word
                         ;

pronunc_word             : pronunc_let_seq
                         | pronunc_compound
                         ;

pronunc_let_seq          : small_letter
                         | capital_letter
                         | small_letter multiple_pronunc_letter
                         | capital_letter multiple_pronunc_letter
                         | '\'' multiple_pronunc_letter
                         ;

multiple_pronunc_letter  : small_letter
                         | capital_letter
                         | '\''
                         | multiple_pronunc_letter small_letter
                         | multiple_pronunc_letter capital_letter
                         | multiple_pronunc_letter '\''
                         ;

pronunc_compound         : pronunc_let_seq '-' pronunc_let_seq
                         | pronunc_compound '-' pronunc_let_seq
                         ;

/* Events */

event_seg                : event space event_link
                         | event event_turn_end
                         ;

event                    : clean_event
                         | spkinf_event
                         ;

clean_event              : ATM
                         | HSALL
                         | noise_element
                         | UVS
                         ;

noise_element            : MGER
                         | TGER
                         ;

event_link               : event_turn_end
                         | to_turn_segments
                         ;

event_turn_end           : TABT WS END
                         | TABT END
                         | WS END
                         | END
                         ;

spkinf_event             : '<' SPA clean_event
                         | clean_event SPP '>'
                         ;

/* Agrammatical segments, repairs and false starts */

agram_seg                : agram_phase lex_seg
                         ;

agram_phase              : repair_sequence
                         | false_start_sequence
                         | agram_phase repair_sequence
                         | agram_phase false_start_sequence
                         ;

multiple_repairs         : repair_sequence
                         | multiple_repairs repair_sequence
                         ;

repair_sequence          : repair_body
                         | repair_body turn_inter_seg
                         ;

repair_body              : repair space pronunc_segment silence_seg
                         | repair space pronunc_segment
                         ;

turn_inter_seg           : event_silence_seq
                         | turn_inter_seg event_silence_seq
                         ;

event_silence_seq        : event space
                         | event space silence_seg
                         ;

repair                   : WHA lexical_element WHE
                         | WHA lex comma silence_seg multiple_agram_content lexical_element WHE
                         | WHA lex comma multiple_agram_content lexical_element WHE
                         ;

multiple_agram_content   : /* empty */
                         | multiple_agram_content agram_content
                         ;

agram_content            : lex comma silence_seg
                         | lex comma
                         | event space silence_seg
                         | event space
                         ;

false_start_sequence     : false_start_body
                         | false_start_body turn_inter_seg
                         ;

false_start_body         : false_start space pronunc_segment silence_seg
                         | false_start space pronunc_segment
                         ;

false_start              : NSA lexical_element NSE
                         | NSA lex comma silence_seg multiple_agram_content lexical_element NSE
                         | NSA lex comma multiple_agram_content lexical_element NSE
                         ;

%%
