// Header dump: one line per field of the record on standard output.
#include "header.h"
#include "layout.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t longest_text = [] {
    std::size_t n = 0;
    for (const quenda::Field& f : quenda::fields)
        if (f.kind == quenda::Kind::chars || f.kind == quenda::Kind::text) n = f.count > n ? f.count : n;
    return n;
}();

}  // namespace

void disp_header_v2(const Quenda_header_2* h) {
    using namespace quenda;
    const auto* rec = reinterpret_cast<const unsigned char*>(h);
    std::printf("structure Quenda_header_2:\n");
    for (const Field& f : fields) {
        const unsigned char* p = rec + f.member;
        switch (f.kind) {
        case Kind::int32: {  // arrays show their first element
            std::int32_t v;
            std::memcpy(&v, p, sizeof v);
            std::printf(f.dump, static_cast<int>(v));
            break;
        }
        case Kind::int16: {
            std::int16_t v;
            std::memcpy(&v, p, sizeof v);
            std::printf(f.dump, static_cast<int>(v));
            break;
        }
        case Kind::int8:
            std::printf(f.dump, static_cast<int>(static_cast<std::int8_t>(*p)));
            break;
        case Kind::chars:
        case Kind::text:
            if (f.count == 1) {
                std::printf(f.dump, static_cast<char>(*p));
            } else {
                // The field need not hold a NUL: print from a terminated copy.
                char scratch[longest_text + 1];
                std::memcpy(scratch, p, f.count);
                scratch[f.count] = '\0';
                std::printf(f.dump, scratch);
            }
            break;
        }
    }
}
