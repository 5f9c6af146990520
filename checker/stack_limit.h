// velmar's parser stack: it starts with 200 entries and doubles up to
// 10000; the push that would need more is "parser stack overflow".  A turn
// of about 5000 words fills it (4997 words of "a " pass, 4998 do not).
// trl-check warns where velmar would stop, and its messages say the limit.
#pragma once

inline constexpr int velmar_initial_stack = 200;
inline constexpr int velmar_stack_limit = 10000;
