// A hand-built stream for tests: a small invented text packed token by token with a greedy
// parse, so it holds copy tokens of many distance classes made without the codec's own
// writers.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "support/stream_builder.h"

namespace norvak::test {

inline std::string sample_content() {
    std::string text =
        "NORVAK SAMPLE SAVE 1\n"
        "[town Luebeck] beer=120 cloth=45 salt=300 wine=12\n"
        "[town Hamburg] beer=80 cloth=45 salt=210 wine=30\n"
        "[town Bergen] fish=900 beer=15 cloth=0 salt=40\n"
        "[ship Adler] cargo: beer=50 salt=50 route=Luebeck>Hamburg>Bergen\n"
        "[ship Kogge] cargo: beer=50 salt=50 route=Luebeck>Hamburg>Bergen\n"
        "----------------------------------------\n"
        "flags=abababababababab\n"
        "[town Luebeck] beer=120 cloth=45 salt=300 wine=12\n";
    text.push_back('\0');
    text.append("\x01\x02\x03\xfe\xff", 5);
    return text;
}

struct SampleSave {
    std::vector<std::uint8_t> stream;
    std::set<unsigned> distance_classes;  // the classes its copy tokens use
};

// A greedy parse: at each position the longest repeat within reach (the nearest among
// equals), or a literal when there is none of two bytes.
inline SampleSave make_sample_save() {
    const std::string content = sample_content();
    StreamBuilder builder;
    SampleSave save;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t best_length = 0, best_distance = 0;
        for (std::size_t distance = 1; distance <= 510 && distance <= pos; ++distance) {
            std::size_t length = 0;
            while (pos + length < content.size() && content[pos + length] == content[pos + length - distance]) ++length;
            if (length > best_length) best_length = length, best_distance = distance;
        }
        if (best_length >= 2) {
            unsigned cls = 0;
            while (best_distance - 1 > (2u << cls) - 2 + (2u << cls) - 1) ++cls;
            save.distance_classes.insert(cls);
            builder.copy(static_cast<unsigned>(best_distance), best_length);
            pos += best_length;
        } else {
            builder.literal(static_cast<std::uint8_t>(content[pos]));
            ++pos;
        }
    }
    save.stream = builder.stream(static_cast<std::int32_t>(content.size()));
    return save;
}

}  // namespace norvak::test
