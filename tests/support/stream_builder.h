// A test-only bit writer that builds packed streams token by token, so tests can make
// any stream the format allows (and many it does not) without the codec's own writers.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace norvak::test {

class StreamBuilder {
public:
    // Appends `width` bits of `value`, least significant bit first.
    StreamBuilder& bits(std::uint64_t value, unsigned width) {
        for (unsigned i = 0; i < width; ++i) {
            if (bit_count_ % 32 == 0) words_.push_back(0);
            if ((value >> i) & 1u) words_.back() |= std::uint32_t{1} << (bit_count_ % 32);
            ++bit_count_;
        }
        return *this;
    }

    StreamBuilder& literal(std::uint8_t byte) { return bits(0, 1).bits(byte, 8); }

    StreamBuilder& literals(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) literal(b);
        return *this;
    }

    // A copy token in the class that holds `distance` (1-510).
    StreamBuilder& copy(unsigned distance, std::uint64_t length) {
        if (distance < 1 || distance > 510) throw std::invalid_argument("distance out of range");
        unsigned offset = distance - 1;
        unsigned cls = 0;
        while (offset > (2u << cls) - 2 + (2u << cls) - 1) ++cls;  // base + mask of class
        return copy_in_class(cls, offset - ((2u << cls) - 2), length);
    }

    // A copy token with an explicit class and field, then the length code for `length`.
    StreamBuilder& copy_in_class(unsigned cls, unsigned field, std::uint64_t length) {
        bits(1, 1).bits(cls, 3).bits(field, cls + 1);
        return length_code(length);
    }

    // The length code for `length` (>= 2): all-ones fields of widths 2, 3, ... then the rest.
    StreamBuilder& length_code(std::uint64_t length) {
        if (length < 2) throw std::invalid_argument("length below 2");
        std::uint64_t rest = length - 2;
        for (unsigned width = 2;; ++width) {
            std::uint64_t ones = (std::uint64_t{1} << width) - 1;
            if (rest < ones) return bits(rest, width);
            bits(ones, width);
            rest -= ones;
        }
    }

    unsigned bit_count() const { return static_cast<unsigned>(bit_count_); }

    // The body's words, little-endian, after a header of `n`.
    std::vector<std::uint8_t> stream(std::int32_t n) const {
        std::vector<std::uint8_t> out(4 + words_.size() * 4);
        std::uint32_t header = static_cast<std::uint32_t>(n);
        for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(header >> (8 * i));
        for (std::size_t w = 0; w < words_.size(); ++w)
            for (int i = 0; i < 4; ++i) out[4 + 4 * w + i] = static_cast<std::uint8_t>(words_[w] >> (8 * i));
        return out;
    }

private:
    std::vector<std::uint32_t> words_;
    std::uint64_t bit_count_ = 0;
};

}  // namespace norvak::test
