// pack_stream must write a valid stream of exactly the smallest size the format allows.
// The optimum is checked against a plain exhaustive search (every distance, every length);
// validity against a bit-by-bit reader written here, which has no slack after the content,
// and against expand_stream with an output of exactly the content's size.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/packed_stream.h"
#include "support/exhaustive_optimum.h"
#include "support/expand_checks.h"

namespace norvak {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------
// A bit-by-bit reader with every check on

struct ReadResult {
    Bytes content;
    std::uint64_t token_bits = 0;
    std::string error;  // empty when the stream is well formed
};

ReadResult read_stream(const Bytes& stream) {
    ReadResult result;
    if (stream.size() < 4) {
        result.error = "no header";
        return result;
    }
    const std::int64_t header = static_cast<std::int32_t>(stream[0] | (stream[1] << 8) | (stream[2] << 16) |
                                                          (std::uint32_t{stream[3]} << 24));
    if (header < 0) {
        result.error = "stored mode";
        return result;
    }
    const auto n = static_cast<std::uint64_t>(header);
    const std::uint64_t body_bits = (stream.size() - 4) * 8;
    if ((stream.size() - 4) % 4 != 0) {
        result.error = "body is not whole words";
        return result;
    }
    std::uint64_t at = 0;
    bool overrun = false;
    auto bit = [&]() -> unsigned {
        if (at >= body_bits) {
            overrun = true;
            return 0;
        }
        const unsigned value = (stream[4 + at / 8] >> (at % 8)) & 1u;
        ++at;
        return value;
    };
    auto field = [&](unsigned width) {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{bit()} << i;
        return value;
    };
    while (result.content.size() < n) {
        if (bit() == 0) {
            result.content.push_back(static_cast<std::uint8_t>(field(8)));
        } else {
            const auto cls = static_cast<unsigned>(field(3));
            const std::uint64_t offset = ((2u << cls) - 2) + field(cls + 1);
            std::uint64_t length = 2;
            for (unsigned width = 2;; ++width) {
                if (width > 31) {
                    result.error = "length code too long";
                    return result;
                }
                const std::uint64_t value = field(width);
                length += value;
                if (value != (std::uint64_t{1} << width) - 1) break;
            }
            const std::uint64_t distance = offset + 1;
            if (distance > result.content.size()) {
                result.error = "copy before the start";
                return result;
            }
            if (result.content.size() + length > n) {
                result.error = "copy past the end";
                return result;
            }
            for (std::uint64_t i = 0; i < length; ++i)
                result.content.push_back(result.content[result.content.size() - distance]);
        }
        if (overrun) {
            result.error = "stream ends early";
            return result;
        }
    }
    result.token_bits = at;
    if (stream.size() - 4 != 4 * ((at + 31) / 32)) result.error = "body is not the fewest words";
    while (at < body_bits)
        if (bit() != 0) result.error = "nonzero bits after the last token";
    return result;
}

// ---------------------------------------------------------------------------------------
// Content shapes

Bytes text(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {"the", "ship", "sails", "to", "Lubeck", "with", "cloth", "and", "salt",
                                         "merchant", "guild", "of", "Hanse", "trade", "grain", "beer", "fish"};
    std::mt19937 random(seed);
    Bytes out;
    while (out.size() < size) {
        const std::string word = kWords[random() % std::size(kWords)];
        out.insert(out.end(), word.begin(), word.end());
        out.push_back(random() % 9 == 0 ? '.' : ' ');
    }
    out.resize(size);
    return out;
}

Bytes random_bytes(std::size_t size, unsigned seed, unsigned alphabet = 256) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>('a' + random() % alphabet);
    if (alphabet == 256)
        for (auto& b : out) b = static_cast<std::uint8_t>(random());
    return out;
}

Bytes repeated(std::size_t size, const Bytes& pattern) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = pattern[i % pattern.size()];
    return out;
}

// Save-like records: a counter, small integers, a zero-padded name, some zero fill.
Bytes records(std::size_t count, unsigned seed) {
    static const char* const kNames[] = {"Anna", "Bremen", "Koggen", "Hamburg", "Visby", "Riga"};
    std::mt19937 random(seed);
    Bytes out;
    for (std::size_t r = 0; r < count; ++r) {
        const auto id = static_cast<std::uint32_t>(r + 1);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
        for (int i = 0; i < 3; ++i) {
            out.push_back(static_cast<std::uint8_t>(random() % 6));
            out.push_back(0);
        }
        std::string name = kNames[random() % std::size(kNames)];
        name.resize(12, '\0');
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), random() % 4 == 0 ? 10 : 2, 0);
    }
    return out;
}

// Runs of one byte exactly one past the edges of the length groups, between random bytes.
Bytes runs_at_group_edges() {
    Bytes out;
    std::mt19937 random(7);
    for (std::size_t run : {2, 3, 4, 5, 6, 11, 12, 13, 26, 27, 28, 57, 58, 59, 120, 121, 122, 247, 248}) {
        for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(random()));
        out.insert(out.end(), run + 1, static_cast<std::uint8_t>(0x40 + run % 50));
    }
    return out;
}

// A block repeated 511 and 512 bytes later (out of reach) and 510 bytes later (just in reach).
Bytes repeats_at_window_edge() {
    const Bytes block = random_bytes(40, 11);
    Bytes out = block;
    for (std::size_t gap : {511 - 40, 512 - 40, 510 - 40}) {
        const Bytes filler = random_bytes(gap, static_cast<unsigned>(gap));
        out.insert(out.end(), filler.begin(), filler.end());
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// Runs of one byte, each followed by one of a few short tails, so that a run often follows a
// shorter one with the same tail: the shorter run matches longest only deep inside the longer
// one, at exactly the length left. Each run's tail is one of three, the gaps random.
Bytes runs_with_shared_tails() {
    Bytes out;
    std::mt19937 random(17);
    for (std::size_t run : {4, 5, 7, 9, 12, 3, 14, 6, 20, 8, 31, 11, 45, 27, 60, 5, 90, 13, 33, 4, 70}) {
        out.insert(out.end(), run, 0);
        const std::uint8_t tail[] = {'t', static_cast<std::uint8_t>('a' + random() % 3), 'q', 'z'};
        out.insert(out.end(), std::begin(tail), std::end(tail));
        for (unsigned i = random() % 3; i > 0; --i) out.push_back(static_cast<std::uint8_t>(1 + random() % 4));
    }
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

struct Shape {
    const char* name;
    Bytes content;
};

std::vector<Shape> shapes() {
    return {
        {"text", text(900, 1)},
        {"zeros", Bytes(700, 0)},
        {"alternating", repeated(600, {0xAB, 0x00})},
        {"period_three", repeated(500, {1, 2, 3})},
        {"random", random_bytes(1000, 2)},
        {"two_letters", random_bytes(800, 3, 2)},
        {"four_letters", random_bytes(800, 4, 4)},
        {"records", records(30, 5)},
        {"runs_at_group_edges", runs_at_group_edges()},
        {"repeats_at_window_edge", repeats_at_window_edge()},
        {"zeros_between_text", concat({text(200, 6), Bytes(300, 0), text(100, 7), Bytes(299, 0), text(50, 8)})},
        {"long_run_then_tail", concat({Bytes(600, 'z'), text(30, 9)})},
        {"runs_with_shared_tails", runs_with_shared_tails()},
        {"runs_to_the_end", concat({Bytes(7, 0), text(40, 10), Bytes(30, 0), {'x'}, Bytes(25, 0)})},
    };
}

// Valid for both readers, and exactly the content comes back.
void expect_round_trip(const Bytes& content, const Bytes& stream) {
    const ReadResult read = read_stream(stream);
    ASSERT_EQ(read.error, "");
    ASSERT_TRUE(read.content == content);
    const test::Expanded expanded = test::expand_exact(stream);
    ASSERT_EQ(expanded.result.status, ExpandStatus::ok);
    ASSERT_TRUE(expanded.guard_intact);
    ASSERT_TRUE(expanded.output == content);
}

void expect_optimal_and_valid(const Bytes& content) {
    const Bytes stream = pack_stream(content);
    ASSERT_NO_FATAL_FAILURE(expect_round_trip(content, stream));
    const ReadResult read = read_stream(stream);
    EXPECT_EQ(read.token_bits, test::optimal_token_bits(content));
    EXPECT_LE(stream.size(), literal_stream_size(content.size()));
}

TEST(PackStream, ReachesTheExhaustiveOptimumOnEveryShape) {
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        expect_optimal_and_valid(shape.content);
    }
}

// Pieces of runs, copies of earlier pieces and noise, so that matches of every class and
// length overlap each other; `longest` bounds a piece.
Bytes mixed_pieces(std::mt19937& random, std::size_t size, std::size_t longest) {
    Bytes content;
    while (content.size() < size) {
        switch (random() % 4) {
            case 0:
                content.insert(content.end(), 1 + random() % longest, static_cast<std::uint8_t>(random() % 3));
                break;
            case 1:
                if (!content.empty()) {
                    const std::size_t from = random() % content.size();
                    const std::size_t length = 1 + random() % (longest + longest / 2);
                    for (std::size_t i = 0; i < length; ++i) content.push_back(content[from + i]);
                    break;
                }
                [[fallthrough]];
            default:
                for (std::size_t i = 1 + random() % 6; i > 0; --i) content.push_back(static_cast<std::uint8_t>(random() % 4));
        }
    }
    return content;
}

TEST(PackStream, ReachesTheOptimumOnManyMixedInputs) {
    struct Case {
        int rounds;
        std::size_t largest;
        std::size_t longest_piece;
    };
    // Short pieces stress the near lengths, long ones the far length groups and expiry.
    for (const Case c : {Case{200, 400, 30}, Case{25, 1500, 400}}) {
        std::mt19937 random(static_cast<unsigned>(99 + c.largest));
        for (int round = 0; round < c.rounds; ++round) {
            const Bytes content = mixed_pieces(random, 1 + random() % c.largest, c.longest_piece);
            SCOPED_TRACE(testing::Message() << "largest " << c.largest << " round " << round);
            expect_optimal_and_valid(content);
            if (HasFatalFailure() || HasNonfatalFailure()) return;
        }
    }
}

TEST(PackStream, ReachesTheOptimumOnEveryShortTwoLetterInput) {
    for (unsigned length = 0; length <= 10; ++length) {
        for (unsigned bits = 0; bits < (1u << length); ++bits) {
            Bytes content(length);
            for (unsigned i = 0; i < length; ++i) content[i] = (bits >> i) & 1u ? 'b' : 'a';
            SCOPED_TRACE(std::string(content.begin(), content.end()));
            expect_optimal_and_valid(content);
        }
    }
}

// Where the optimum is unique, the stream is known byte for byte.
TEST(PackStream, WritesKnownStreams) {
    struct Case {
        const char* name;
        Bytes content;
        Bytes stream;
    };
    const Case cases[] = {
        {"empty", {}, {0x00, 0x00, 0x00, 0x00}},
        {"no repeat", {'a', 'b', 'c'}, {0x03, 0x00, 0x00, 0x00, 0xc2, 0x88, 0x19, 0x03}},
        {"eleven A", Bytes(11, 'A'), {0x0b, 0x00, 0x00, 0x00, 0x82, 0xc2, 0x05, 0x00}},
        {"one byte", {0xff}, {0x01, 0x00, 0x00, 0x00, 0xfe, 0x01, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pack_stream(c.content), c.stream);
    }
}

// Large inputs: long runs, long copies and many records, checked for validity and size.
TEST(PackStream, PacksLargeInputsValidly) {
    struct Case {
        const char* name;
        Bytes content;
        std::size_t most_bytes;  // a bound any sensible parse stays under
    };
    const Case cases[] = {
        {"a megabyte of zeros", Bytes(1u << 20, 0), 64},
        {"records", records(20000, 12), literal_stream_size(20000 * 32) / 3},
        {"random", random_bytes(100000, 13), literal_stream_size(100000)},
        {"text", text(200000, 14), literal_stream_size(200000) / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = pack_stream(c.content);
        expect_round_trip(c.content, stream);
        EXPECT_LE(stream.size(), c.most_bytes);
    }
}

}  // namespace
}  // namespace norvak
