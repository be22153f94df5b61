// Random token streams, well-formed and not, against a plain bit-by-bit decoder: the fast
// paths of expand_stream must give the same status and bytes as one token at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/packed_stream.h"
#include "support/expand_checks.h"
#include "support/stream_builder.h"

namespace norvak {
namespace {

using test::StreamBuilder;

struct ReferenceResult {
    ExpandStatus status = ExpandStatus::ok;
    std::vector<std::uint8_t> content;  // what was produced, at most the capacity
};

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> body) : body_(body) {}
    bool read(unsigned width, std::uint64_t& value) {
        if (body_.size() * 8 - pos_ < width) return false;
        value = 0;
        for (unsigned i = 0; i < width; ++i, ++pos_) value |= std::uint64_t{(body_[pos_ / 8] >> (pos_ % 8)) & 1u} << i;
        return true;
    }

private:
    std::span<const std::uint8_t> body_;
    std::size_t pos_ = 0;
};

ReferenceResult reference_expand(std::span<const std::uint8_t> stream, std::size_t capacity) {
    ReferenceResult r;
    if (stream.size() < 4) return {ExpandStatus::missing_header, {}};
    const std::int64_t n = read_size_header(stream.data());
    const auto body = stream.subspan(4);
    if (n < 0) {
        if (body.size() < static_cast<std::uint64_t>(-n)) return {ExpandStatus::stored_truncated, {}};
        r.content.assign(body.begin(), body.begin() + std::min<std::int64_t>(-n, static_cast<std::int64_t>(capacity)));
        if (r.content.size() < static_cast<std::uint64_t>(-n)) r.status = ExpandStatus::output_too_small;
        return r;
    }
    BitReader bits(body);
    const auto fail = [&r](ExpandStatus status) {
        r.status = status;
        return r;
    };
    while (r.content.size() < static_cast<std::uint64_t>(n)) {
        std::uint64_t flag, value;
        if (!bits.read(1, flag)) return fail(ExpandStatus::truncated);
        if (flag == 0) {
            if (!bits.read(8, value)) return fail(ExpandStatus::truncated);
            if (r.content.size() == capacity) return fail(ExpandStatus::output_too_small);
            r.content.push_back(static_cast<std::uint8_t>(value));
            continue;
        }
        std::uint64_t cls, field;
        if (!bits.read(3, cls) || !bits.read(static_cast<unsigned>(cls) + 1, field)) return fail(ExpandStatus::truncated);
        const std::uint64_t distance = (std::uint64_t{2} << cls) - 2 + field + 1;
        std::uint64_t length = 2;
        for (unsigned width = 2;; ++width) {
            if (!bits.read(width, value)) return fail(ExpandStatus::truncated);
            length += value;
            if (value != (std::uint64_t{1} << width) - 1) break;
            if (width == 31) return fail(ExpandStatus::length_code_too_long);
        }
        if (distance > r.content.size()) return fail(ExpandStatus::copy_before_start);
        for (std::uint64_t i = 0; i < length && r.content.size() < static_cast<std::uint64_t>(n); ++i) {
            if (r.content.size() == capacity) return fail(ExpandStatus::output_too_small);
            r.content.push_back(r.content[r.content.size() - distance]);
        }
    }
    return r;
}

// A copy length with `k` all-ones fields, anywhere in that group.
std::uint64_t random_length(std::mt19937_64& rng) {
    const unsigned pick = static_cast<unsigned>(rng() % 100);
    const unsigned k = pick < 55 ? 0 : pick < 80 ? 1 : pick < 97 ? 2 + static_cast<unsigned>(rng() % 5) : 7 + static_cast<unsigned>(rng() % 6);
    return (std::uint64_t{4} << k) - 2 - k + rng() % ((std::uint64_t{1} << (k + 2)) - 1);
}

struct RandomCase {
    std::vector<std::uint8_t> stream;
    std::size_t capacity = 0;
};

// Mostly runs of literals and copies the way real data mixes them; now and then a bad
// distance, an endless length code, a header that disagrees with the tokens, a cut, or
// bytes after the end.
RandomCase random_case(std::mt19937_64& rng) {
    StreamBuilder builder;
    std::uint64_t produced = 0;
    const std::size_t tokens = rng() % 3000;
    const unsigned copy_share = static_cast<unsigned>(rng() % 101);
    for (std::size_t t = 0; t < tokens; ++t) {
        if (produced == 0 || rng() % 100 >= copy_share) {
            builder.literal(static_cast<std::uint8_t>(rng()));
            ++produced;
            continue;
        }
        const unsigned oddity = static_cast<unsigned>(rng() % 1000);
        if (oddity == 0 && produced < kMaxDistance) {
            builder.copy(static_cast<unsigned>(produced) + 1, random_length(rng));  // one byte too far back
        } else if (oddity == 1) {
            builder.bits(1, 1).bits(0, 3).bits(0, 1);
            for (unsigned width = 2; width <= 31; ++width) builder.bits(kLengthFieldMasks[width], width);
        } else {
            const std::uint64_t length = random_length(rng);
            builder.copy(1 + static_cast<unsigned>(rng() % std::min<std::uint64_t>(produced, kMaxDistance)), length);
            produced += length;
        }
    }

    std::int64_t n = static_cast<std::int64_t>(produced);
    switch (rng() % 10) {
    case 0: n = produced > 1 ? static_cast<std::int64_t>(rng() % produced) + 1 : 1; break;  // last copy overshoots
    case 1: n += 1 + static_cast<std::int64_t>(rng() % 40); break;                          // tokens run out
    case 2: n = -static_cast<std::int64_t>(rng() % 300); break;                             // stored or empty
    default: break;
    }
    RandomCase c;
    c.stream = builder.stream(static_cast<std::int32_t>(n));
    switch (rng() % 10) {
    case 0: c.stream.resize(rng() % (c.stream.size() + 1)); break;
    case 1: c.stream.resize(kSizeHeaderBytes + (builder.bit_count() + 7) / 8); break;  // partial last word
    case 2:
        for (unsigned i = rng() % 64; i > 0; --i) c.stream.push_back(static_cast<std::uint8_t>(rng()));
        break;
    default: break;
    }
    const std::size_t announced = static_cast<std::size_t>(announced_content_size(c.stream).value_or(0));
    switch (rng() % 10) {
    case 0: c.capacity = static_cast<std::size_t>(rng() % (announced + 1)); break;
    case 1: c.capacity = announced + static_cast<std::size_t>(rng() % 100); break;
    default: c.capacity = announced; break;
    }
    return c;
}

TEST(ExpandAgainstReference, RandomStreamsGiveTheSameStatusAndBytes) {
    std::mt19937_64 rng(20240611);
    for (int round = 0; round < 1200; ++round) {
        const RandomCase c = random_case(rng);
        const ReferenceResult expected = reference_expand(c.stream, c.capacity);
        const auto actual = test::expand_guarded(c.stream, c.capacity);
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << c.stream.size() << " stream bytes, capacity "
                                        << c.capacity);
        ASSERT_EQ(actual.result.status, expected.status);
        ASSERT_TRUE(actual.guard_intact);
        if (expected.status == ExpandStatus::ok || expected.status == ExpandStatus::output_too_small) {
            ASSERT_GE(actual.output.size(), expected.content.size());
            ASSERT_TRUE(std::equal(expected.content.begin(), expected.content.end(), actual.output.begin()));
        }
        if (expected.status == ExpandStatus::output_too_small) {
            ASSERT_EQ(expected.content.size(), c.capacity);
        }
    }
}

}  // namespace
}  // namespace norvak
