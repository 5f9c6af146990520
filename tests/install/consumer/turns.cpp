// Reads a transliteration through the installed language library and
// prints how many turns and words it holds, and the first turn's speaker
// and words.
#include <quenda_tools/language/reader.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    long words = 0;
    std::string first;
    trl::reader reader;
    const trl::read_result result = reader.read(text, [&](const trl::turn& t) {
        for (const trl::element& e : t.elements) {
            if (e.what != trl::kind::word)
                continue;
            ++words;
            if (first.empty() || t.id.number() == "001")
                first += (first.empty() ? std::string(t.id.speaker()) + ":" : std::string()) + " " +
                         std::string(t.text(e.letters));
        }
    });
    if (!result.ok())
        return 3;
    std::printf("%ld turns, %ld words; %s\n", result.turns, words, first.c_str());
    return 0;
}
