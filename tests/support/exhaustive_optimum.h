// The fewest token bits any packed stream of a content can have, by exhaustive dynamic
// programming: every distance 1-510 and every length it allows. Slow and plain on purpose,
// so it can judge the packer.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace norvak::test {

inline unsigned length_code_bits(std::uint64_t length) {
    unsigned bits = 0;
    std::uint64_t rest = length - 2;
    for (unsigned width = 2;; ++width) {
        bits += width;
        const std::uint64_t ones = (std::uint64_t{1} << width) - 1;
        if (rest < ones) return bits;
        rest -= ones;
    }
}

// Every distance 1..510 and every length it allows. A copy's cost depends only on its class
// and length, so per class the longest match of any of its distances stands for all of them.
inline std::uint64_t optimal_token_bits(std::span<const std::uint8_t> content) {
    const std::size_t n = content.size();
    // match[i][d]: how many bytes from i on equal those d before them.
    std::vector<std::vector<std::uint32_t>> match(n + 1, std::vector<std::uint32_t>(511, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t d = 1; d <= std::min<std::size_t>(i, 510); ++d)
            if (content[i] == content[i - d]) match[i][d] = 1 + match[i + 1][d];

    std::vector<std::uint64_t> best(n + 1, std::numeric_limits<std::uint64_t>::max());
    best[0] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        best[i + 1] = std::min(best[i + 1], best[i] + 9);
        std::array<std::size_t, 8> longest{};
        for (std::size_t d = 1; d <= std::min<std::size_t>(i, 510); ++d) {
            unsigned cls = 0;
            while (d - 1 > ((2u << cls) - 2) + ((2u << cls) - 1)) ++cls;
            longest[cls] = std::max<std::size_t>(longest[cls], match[i][d]);
        }
        for (unsigned cls = 0; cls < 8; ++cls)
            for (std::size_t length = 2; length <= longest[cls]; ++length)
                best[i + length] = std::min(best[i + length], best[i] + 4 + (cls + 1) + length_code_bits(length));
    }
    return best[n];
}

}  // namespace norvak::test
