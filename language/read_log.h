// The stack as it was when the look-ahead was read, for the hooks that
// watch the reads (see the parse engine).
#pragma once

#include <utility>
#include <vector>

#include "parse_engine.h"

namespace trl {

// The engine tells a watching hook the depth at each read and every entry
// it overwrites; those below that depth, written since the read, are kept
// newest last.  At a syntax error the stack is put back as it was when the
// offending token was read, which is where what was expected is found.
struct read_log {
    int read_depth = 0;
    std::vector<std::pair<int, trl_engine::entry>> undo;

    void read(int depth)
    {
        read_depth = depth;
        undo.clear();
    }
    void overwrite(int index, trl_engine::entry old)
    {
        if (index < read_depth)
            undo.push_back({index, old});
    }
    // Puts stack[0..read_depth) back as it was at the last read.
    void restore(trl_engine::entry* stack)
    {
        for (auto it = undo.rbegin(); it != undo.rend(); ++it)
            stack[it->first] = it->second;
        undo.clear();
    }
};

} // namespace trl
