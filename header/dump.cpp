// Header dump: one line per field of the record on standard output.
#include "header/header.h"
#include "header/layout.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t longest_text = [] {
    std::size_t n = 0;
    for (const quenda::Field& f : quenda::fields)
        if (f.kind == quenda::Kind::chars || f.kind == quenda::Kind::text)
            n = f.count > n ? f.count : n;
    return n;
}();

} // namespace

void disp_header_v2(const Quenda_header_2* h)
{
    using namespace quenda;
    std::printf("%s", dump_title);
    for (const Field& f : fields) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(h) + f.member;
        if (f.kind != Kind::chars && f.kind != Kind::text) {
            // Arrays show their first element.
            std::printf(f.dump, static_cast<int>(field_number(*h, f)));
        } else if (f.count == 1) {
            std::printf(f.dump, static_cast<char>(*p));
        } else {
            // The field need not hold a NUL: print from a terminated copy.
            char scratch[longest_text + 1];
            std::memcpy(scratch, p, f.count);
            scratch[f.count] = '\0';
            std::printf(f.dump, scratch);
        }
    }
}
