// Damage done to a packed stream the way files get damaged: bytes changed, bits flipped,
// cut short, bytes lost or added, a wrong size header. Driven by a caller's generator, so a
// fixed seed gives the same damage on every run.
#pragma once

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace norvak::faults {

enum class Mutation {
    bytes_changed,
    bits_flipped,
    cut_short,
    bytes_removed,
    bytes_inserted,
    header_replaced,
    several,  // two or three of the above
};

inline std::string mutation_name(Mutation mutation) {
    switch (mutation) {
    case Mutation::bytes_changed: return "bytes_changed";
    case Mutation::bits_flipped: return "bits_flipped";
    case Mutation::cut_short: return "cut_short";
    case Mutation::bytes_removed: return "bytes_removed";
    case Mutation::bytes_inserted: return "bytes_inserted";
    case Mutation::header_replaced: return "header_replaced";
    case Mutation::several: return "several";
    }
    return "unknown";
}

// How test frameworks print one.
inline void PrintTo(Mutation mutation, std::ostream* out) { *out << mutation_name(mutation); }

namespace detail {

inline std::size_t below(std::mt19937& random, std::size_t bound) { return bound == 0 ? 0 : random() % bound; }

inline std::uint32_t header_of(const std::vector<std::uint8_t>& stream) {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < 4 && i < stream.size(); ++i) n |= std::uint32_t{stream[i]} << (8 * i);
    return n;
}

// Sizes a damaged header is likely to hold: near the true one, stored mode, extremes.
inline std::uint32_t replacement_header(const std::vector<std::uint8_t>& stream, std::mt19937& random) {
    const std::uint32_t n = header_of(stream);
    const std::uint32_t body = stream.size() > 4 ? static_cast<std::uint32_t>(stream.size() - 4) : 0;
    switch (random() % 12) {
    case 0: return 0;
    case 1: return n + 1;
    case 2: return n - 1;
    case 3: return n * 2;
    case 4: return n + 1 + static_cast<std::uint32_t>(random() % 4096);
    case 5: return 0u - body;          // stored mode, exactly the body
    case 6: return 0u - (body + 1);    // stored mode, one byte more than there is
    case 7: return 0u - n;             // the right size, but stored mode
    case 8: return 0x7fffffffu;
    case 9: return 0x80000000u;
    case 10: return 0xffffffffu;
    default: return static_cast<std::uint32_t>(random());
    }
}

}  // namespace detail

inline std::vector<std::uint8_t> mutate(std::vector<std::uint8_t> stream, Mutation mutation, std::mt19937& random) {
    using detail::below;
    switch (mutation) {
    case Mutation::bytes_changed:
        for (std::size_t i = 0, count = 1 + below(random, 4); i < count && !stream.empty(); ++i)
            stream[below(random, stream.size())] = static_cast<std::uint8_t>(random());
        break;
    case Mutation::bits_flipped:
        // In the body only: the header has its own damage.
        for (std::size_t i = 0, count = 1 + below(random, 3); i < count && stream.size() > 4; ++i)
            stream[4 + below(random, stream.size() - 4)] ^= static_cast<std::uint8_t>(1u << below(random, 8));
        break;
    case Mutation::cut_short:
        stream.resize(below(random, stream.size()));
        break;
    case Mutation::bytes_removed: {
        if (stream.empty()) break;
        const std::size_t at = below(random, stream.size());
        const std::size_t count = std::min(stream.size() - at, 1 + below(random, 8));
        stream.erase(stream.begin() + static_cast<std::ptrdiff_t>(at),
                     stream.begin() + static_cast<std::ptrdiff_t>(at + count));
        break;
    }
    case Mutation::bytes_inserted: {
        const std::size_t at = below(random, stream.size() + 1);
        std::vector<std::uint8_t> added(1 + below(random, 8));
        for (auto& b : added) b = static_cast<std::uint8_t>(random());
        stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
        break;
    }
    case Mutation::header_replaced: {
        if (stream.size() < 4) stream.resize(4);
        const std::uint32_t n = detail::replacement_header(stream, random);
        for (std::size_t i = 0; i < 4; ++i) stream[i] = static_cast<std::uint8_t>(n >> (8 * i));
        break;
    }
    case Mutation::several:
        for (std::size_t i = 0, count = 2 + below(random, 2); i < count; ++i)
            stream = mutate(std::move(stream), static_cast<Mutation>(below(random, 6)), random);
        break;
    }
    return stream;
}

}  // namespace norvak::faults
