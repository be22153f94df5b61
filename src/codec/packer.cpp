// The packer: the smallest packed stream for a content, by an exact optimal parse.
//
// Every byte position 0..n is a node; a literal is an edge of 9 bits to the next node, a copy
// of distance d and length L an edge of 5 + class(d) + code_bits(L) bits to the node L ahead.
// The shortest path from 0 to n is the smallest stream, because the stream is the header plus
// the bits rounded up to whole words.
//
// Two facts keep the search exact and fast:
//  - For each distance class only the furthest match end reached by that class or a cheaper
//    one matters, and that end never moves backwards from one position to the next (a match
//    of distance d at p that runs on is a match of distance d at p + 1 too). So the matcher
//    keeps eight ends and only has to look at matches that start at p, never at ones that
//    merely continue; long runs cost nothing once found.
//  - The length code has the same size for every length of a group ([2,4], [5,11], [12,26],
//    ...). The sources that reach a node with a copy of one class and one group form a sliding
//    window whose both edges only move forward, so a monotone queue per (class, group) gives
//    the cheapest such copy into each node in amortised constant time.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

#include "codec/packed_stream.h"

namespace norvak {
namespace {

using Position = std::uint32_t;  // content offsets: the content is under 2^31 bytes
constexpr Position kNoPosition = std::numeric_limits<Position>::max();

// ---------------------------------------------------------------------------------------
// Token costs

// Length groups: group g (from 0) holds the lengths whose code has g + 1 fields.
struct LengthGroup {
    std::uint64_t first;
    std::uint64_t last;
    unsigned code_bits;
};
constexpr unsigned kLengthGroupCount = 30;  // 30 fields reach past 2^31
constexpr std::array<LengthGroup, kLengthGroupCount> kLengthGroups = [] {
    std::array<LengthGroup, kLengthGroupCount> groups{};
    std::uint64_t first = kMinCopyLength;
    unsigned bits = 0;
    for (unsigned g = 0; g < kLengthGroupCount; ++g) {
        const unsigned width = kFirstLengthFieldBits + g;
        const std::uint64_t span = (std::uint64_t{1} << width) - 1;
        bits += width;
        groups[g] = {first, first + span - 1, bits};
        first += span;
    }
    return groups;
}();

unsigned distance_class(unsigned distance) {
    return static_cast<unsigned>(std::bit_width(distance + 1)) - 2;
}

constexpr unsigned copy_token_bits(unsigned cls, unsigned group) {
    return kFlagBits + kDistanceClassBits + kDistanceClasses[cls].field_bits + kLengthGroups[group].code_bits;
}

// ---------------------------------------------------------------------------------------
// Match finding

constexpr unsigned kRingSize = 512;  // more than the window: live positions never share a slot
constexpr unsigned kRingMask = kRingSize - 1;
constexpr unsigned kHashBits = 16;

// For each class c, the furthest end of a match at the current position whose distance is in
// class c or a cheaper one, and that distance. Ends below position + 2 are stale.
struct Reach {
    std::array<Position, kDistanceClassCount> end{};
    std::array<std::uint16_t, kDistanceClassCount> distance{};
};

void extend_reach(Reach& reach, unsigned cls, Position end, unsigned distance) {
    for (; cls < kDistanceClassCount && end > reach.end[cls]; ++cls) {
        reach.end[cls] = end;
        reach.distance[cls] = static_cast<std::uint16_t>(distance);
    }
}

// Recent positions by their first 2, 3 and 4 bytes. Pairs index exactly; triples and quads by
// hash, in chains from the newest. A quad's skip link leads past the following chain entries
// that have the same byte before them.
struct MatchIndex {
    std::vector<Position> pair_head = std::vector<Position>(std::size_t{1} << 16, kNoPosition);
    std::vector<Position> triple_head = std::vector<Position>(std::size_t{1} << kHashBits, kNoPosition);
    std::vector<Position> quad_head = std::vector<Position>(std::size_t{1} << kHashBits, kNoPosition);
    std::array<Position, kRingSize> triple_prev{};
    std::array<Position, kRingSize> quad_prev{};
    std::array<Position, kRingSize> quad_skip{};
};

std::uint32_t load32(const std::uint8_t* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint64_t load64(const std::uint8_t* at) {
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

unsigned hash_bytes(std::uint32_t bytes) { return (bytes * 0x9E3779B1u) >> (32 - kHashBits); }

unsigned pair_key(const std::uint8_t* at) { return at[0] | (unsigned{at[1]} << 8); }

std::uint32_t triple_bytes(const std::uint8_t* at) {
    return at[0] | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16);
}

bool in_window(Position p, Position q) { return q < p && p - q <= kMaxDistance; }

// The byte before q, or 256 at the start (a value no byte has).
unsigned byte_before(const std::uint8_t* content, Position q) { return q == 0 ? 256u : content[q - 1]; }

// How many bytes from p on equal those from q on (q < p, overlap allowed), within the content.
Position common_length(const std::uint8_t* content, Position n, Position p, Position q) {
    const Position limit = n - p;
    Position length = 0;
    while (limit - length >= 8) {
        const std::uint64_t diff = load64(content + p + length) ^ load64(content + q + length);
        if (diff != 0) {
            const int zero_bits = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                             : std::countl_zero(diff);
            return length + static_cast<Position>(zero_bits / 8);
        }
        length += 8;
    }
    while (length < limit && content[p + length] == content[q + length]) ++length;
    return length;
}

// Brings `reach` from p - 1 to p. A match at p either continues one at p - 1 (same distance,
// byte before equal too), whose end `reach` already holds, or starts at p. Matches of 2 and 3
// bytes count only their shortest distance; longer ones that start at p are found in the quad
// chain, skipping whole stretches of entries whose byte before equals ours.
void find_matches(const std::uint8_t* content, Position n, Position p, MatchIndex& index, Reach& reach) {
    if (n - p < 2) return;
    const Position pair_at = index.pair_head[pair_key(content + p)];
    if (!in_window(p, pair_at)) return;  // no pair, so nothing longer either
    {
        const unsigned distance = p - pair_at;
        const bool third_equal = n - p >= 3 && content[pair_at + 2] == content[p + 2];
        extend_reach(reach, distance_class(distance), p + (third_equal ? 3 : 2), distance);
        if (!third_equal && n - p >= 3) {
            const std::uint32_t triple = triple_bytes(content + p);
            for (Position q = index.triple_head[hash_bytes(triple)]; in_window(p, q); q = index.triple_prev[q & kRingMask]) {
                if (triple_bytes(content + q) == triple) {
                    extend_reach(reach, distance_class(p - q), p + 3, p - q);
                    break;
                }
            }
        }
    }
    if (n - p < 4) return;
    const std::uint32_t quad = load32(content + p);
    const unsigned before = byte_before(content, p);
    Position q = index.quad_head[hash_bytes(quad)];
    while (in_window(p, q)) {
        if (byte_before(content, q) == before) {
            q = index.quad_skip[q & kRingMask];
            continue;
        }
        if (load32(content + q) == quad) {
            const unsigned distance = p - q;
            const unsigned cls = distance_class(distance);
            const Position known_end = reach.end[cls];
            // Only a match running past known_end matters; test that byte first.
            if (known_end < p + 4 || (known_end < n && content[known_end] == content[known_end - distance])) {
                const Position end = p + common_length(content, n, p, q);
                if (end > known_end) extend_reach(reach, cls, end, distance);
            }
        }
        q = index.quad_prev[q & kRingMask];
    }
}

void index_position(const std::uint8_t* content, Position n, Position p, MatchIndex& index) {
    const Position left = n - p;
    if (left < 2) return;
    index.pair_head[pair_key(content + p)] = p;
    if (left < 3) return;
    Position& triple_head = index.triple_head[hash_bytes(triple_bytes(content + p))];
    index.triple_prev[p & kRingMask] = triple_head;
    triple_head = p;
    if (left < 4) return;
    Position& quad_head = index.quad_head[hash_bytes(load32(content + p))];
    const Position next = quad_head;
    index.quad_prev[p & kRingMask] = next;
    const bool same_before = in_window(p, next) && byte_before(content, next) == byte_before(content, p);
    index.quad_skip[p & kRingMask] = same_before ? index.quad_skip[next & kRingMask] : next;
    quad_head = p;
}

// ---------------------------------------------------------------------------------------
// Sliding-window minimum per (class, group)

// A minimal double-ended queue on a ring of power-of-two size.
template <typename T>
struct Ring {
    std::vector<T> slots;
    std::size_t head = 0;
    std::size_t size = 0;
};

template <typename T>
T& ring_front(Ring<T>& ring) { return ring.slots[ring.head]; }

template <typename T>
T& ring_back(Ring<T>& ring) { return ring.slots[(ring.head + ring.size - 1) & (ring.slots.size() - 1)]; }

template <typename T>
void ring_push_back(Ring<T>& ring, const T& value) {
    if (ring.size == ring.slots.size()) {
        std::vector<T> grown(std::max<std::size_t>(8, ring.slots.size() * 2));
        for (std::size_t i = 0; i < ring.size; ++i) grown[i] = ring.slots[(ring.head + i) & (ring.slots.size() - 1)];
        ring.slots.swap(grown);
        ring.head = 0;
    }
    ring.slots[(ring.head + ring.size) & (ring.slots.size() - 1)] = value;
    ++ring.size;
}

template <typename T>
void ring_pop_front(Ring<T>& ring) {
    ring.head = (ring.head + 1) & (ring.slots.size() - 1);
    --ring.size;
}

template <typename T>
void ring_pop_back(Ring<T>& ring) { --ring.size; }

// Consecutive sources queued with the same match end and distance, not yet in reach of a
// length of the group.
struct PendingSources {
    Position first;
    Position count;
    Position end;
    std::uint16_t distance;
};

// A source in reach: it offers every node up to `expiry` at value + the token's bits.
template <typename Cost>
struct Offer {
    Position source;
    Position expiry;
    Cost value;
    std::uint16_t distance;
};

// Sources enter in position order, become usable at source + first length of the group and
// stop at min(source + last length, match end); both bounds only grow with the source, so a
// later source with a value no higher makes an earlier one useless.
template <typename Cost>
struct CopyQueue {
    Ring<PendingSources> pending;
    Ring<Offer<Cost>> offers;
};

// How each node is reached: 0 for a literal, else (length << 9) | (distance - 1); lengths too
// long for that are kept aside.
constexpr unsigned kStepDistanceBits = 9;
constexpr std::uint32_t kLongStep = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxPackedStepLength = (kLongStep >> kStepDistanceBits) - 1;

struct LongStep {
    Position node;
    Position length;
    std::uint16_t distance;
};

struct Parse {
    std::vector<std::uint32_t> steps;  // per node 1..n
    std::vector<LongStep> long_steps;  // by node, ascending
    std::uint64_t bits = 0;
};

template <typename Cost>
void queue_sources(Position p, const Reach& reach, std::array<std::array<CopyQueue<Cost>, kLengthGroupCount>, kDistanceClassCount>& queues,
                   std::array<std::uint32_t, kDistanceClassCount>& live) {
    // Class c serves the nodes past what every cheaper class reaches.
    Position covered = p + 1;
    for (unsigned cls = 0; cls < kDistanceClassCount; ++cls) {
        const Position end = reach.end[cls];
        if (end <= covered) continue;
        for (unsigned g = 0; g < kLengthGroupCount; ++g) {
            const LengthGroup& group = kLengthGroups[g];
            if (p + group.first > end) break;
            if (p + group.last <= covered) continue;
            Ring<PendingSources>& pending = queues[cls][g].pending;
            if (pending.size != 0) {
                PendingSources& last = ring_back(pending);
                if (last.first + last.count == p && last.end == end && last.distance == reach.distance[cls]) {
                    ++last.count;
                    continue;
                }
            }
            ring_push_back(pending, PendingSources{p, 1, end, reach.distance[cls]});
            live[cls] |= std::uint32_t{1} << g;
        }
        covered = end;
    }
}

template <typename Cost>
Parse parse_content(std::span<const std::uint8_t> content) {
    const std::uint8_t* bytes = content.data();
    const auto n = static_cast<Position>(content.size());
    std::vector<Cost> cost(std::size_t{n} + 1);
    Parse parse;
    parse.steps.resize(std::size_t{n} + 1);
    MatchIndex index;
    Reach reach;
    std::array<std::array<CopyQueue<Cost>, kLengthGroupCount>, kDistanceClassCount> queues;
    std::array<std::uint32_t, kDistanceClassCount> live{};

    for (Position p = 0; p < n; ++p) {
        find_matches(bytes, n, p, index, reach);
        index_position(bytes, n, p, index);
        queue_sources(p, reach, queues, live);

        const Position node = p + 1;
        Cost best = cost[p] + kLiteralTokenBits;
        std::uint32_t step = 0;
        Position best_length = 0;
        std::uint16_t best_distance = 0;
        for (unsigned cls = 0; cls < kDistanceClassCount; ++cls) {
            for (std::uint32_t mask = live[cls]; mask != 0; mask &= mask - 1) {
                const auto g = static_cast<unsigned>(std::countr_zero(mask));
                CopyQueue<Cost>& queue = queues[cls][g];
                const LengthGroup& group = kLengthGroups[g];
                if (queue.pending.size != 0) {
                    PendingSources& sources = ring_front(queue.pending);
                    if (sources.first + group.first == node) {
                        const Position source = sources.first;
                        const Offer<Cost> offer{source,
                                                static_cast<Position>(std::min<std::uint64_t>(source + group.last, sources.end)),
                                                cost[source], sources.distance};
                        if (--sources.count == 0) {
                            ring_pop_front(queue.pending);
                        } else {
                            ++sources.first;
                        }
                        while (queue.offers.size != 0 && ring_back(queue.offers).value >= offer.value) ring_pop_back(queue.offers);
                        ring_push_back(queue.offers, offer);
                    }
                }
                while (queue.offers.size != 0 && ring_front(queue.offers).expiry < node) ring_pop_front(queue.offers);
                if (queue.offers.size != 0) {
                    const Offer<Cost>& offer = ring_front(queue.offers);
                    const Cost candidate = offer.value + copy_token_bits(cls, g);
                    if (candidate < best) {
                        best = candidate;
                        best_length = node - offer.source;
                        best_distance = offer.distance;
                        step = 1;
                    }
                } else if (queue.pending.size == 0) {
                    live[cls] &= ~(std::uint32_t{1} << g);
                }
            }
        }
        cost[node] = best;
        if (step != 0) {
            if (best_length <= kMaxPackedStepLength) {
                step = (best_length << kStepDistanceBits) | (best_distance - 1u);
            } else {
                step = kLongStep;
                parse.long_steps.push_back({node, best_length, best_distance});
            }
        }
        parse.steps[node] = step;
    }
    parse.bits = cost[n];
    return parse;
}

// ---------------------------------------------------------------------------------------
// Writing the stream

struct BitWriter {
    std::uint8_t* out;
    std::uint64_t pending = 0;
    unsigned pending_bits = 0;
};

void put_word(BitWriter& writer, std::uint32_t word) {
    for (unsigned i = 0; i < kWordBytes; ++i) *writer.out++ = static_cast<std::uint8_t>(word >> (8 * i));
}

void put_bits(BitWriter& writer, std::uint32_t value, unsigned width) {
    writer.pending |= std::uint64_t{value} << writer.pending_bits;
    writer.pending_bits += width;
    if (writer.pending_bits >= kWordBits) {
        put_word(writer, static_cast<std::uint32_t>(writer.pending));
        writer.pending >>= kWordBits;
        writer.pending_bits -= kWordBits;
    }
}

void put_copy(BitWriter& writer, std::uint64_t length, unsigned distance) {
    const unsigned offset = distance - 1;
    const unsigned cls = distance_class(distance);
    put_bits(writer, kCopyFlag, kFlagBits);
    put_bits(writer, cls, kDistanceClassBits);
    put_bits(writer, offset - kDistanceClasses[cls].base, kDistanceClasses[cls].field_bits);
    std::uint64_t rest = length - kMinCopyLength;
    for (unsigned width = kFirstLengthFieldBits;; ++width) {
        const std::uint32_t all_ones = kLengthFieldMasks[width];
        if (rest < all_ones) {
            put_bits(writer, static_cast<std::uint32_t>(rest), width);
            return;
        }
        put_bits(writer, all_ones, width);
        rest -= all_ones;
    }
}

}  // namespace

std::vector<std::uint8_t> pack_stream(std::span<const std::uint8_t> content) {
    if (content.size() > kMaxPackedContentBytes) throw std::length_error("content too large for a packed stream");
    const auto n = static_cast<Position>(content.size());
    // A 32-bit cost fits while every literal would: 9 bits per byte.
    Parse parse = std::uint64_t{n} * kLiteralTokenBits < std::numeric_limits<std::uint32_t>::max()
                      ? parse_content<std::uint32_t>(content)
                      : parse_content<std::uint64_t>(content);

    // Walk back from the end, linking each node on the path to the one after it.
    std::vector<Position> next(std::size_t{n} + 1, kNoPosition);
    auto long_step = parse.long_steps.rbegin();
    for (Position node = n; node != 0;) {
        const std::uint32_t step = parse.steps[node];
        Position length = 1;
        if (step == kLongStep) {
            while (long_step->node != node) ++long_step;
            length = long_step->length;
        } else if (step != 0) {
            length = step >> kStepDistanceBits;
        }
        next[node - length] = node;
        node -= length;
    }

    std::vector<std::uint8_t> stream(kSizeHeaderBytes + kWordBytes * static_cast<std::size_t>((parse.bits + kWordBits - 1) / kWordBits));
    for (unsigned i = 0; i < kSizeHeaderBytes; ++i) stream[i] = static_cast<std::uint8_t>(n >> (8 * i));
    BitWriter writer{stream.data() + kSizeHeaderBytes};
    auto long_forward = parse.long_steps.begin();
    for (Position node = 0; node != n; node = next[node]) {
        const Position to = next[node];
        const std::uint32_t step = parse.steps[to];
        if (step == 0) {
            put_bits(writer, kLiteralFlag, kFlagBits);
            put_bits(writer, content[node], 8);
        } else if (step == kLongStep) {
            while (long_forward->node != to) ++long_forward;
            put_copy(writer, long_forward->length, long_forward->distance);
        } else {
            put_copy(writer, step >> kStepDistanceBits, (step & ((1u << kStepDistanceBits) - 1)) + 1);
        }
    }
    if (writer.pending_bits != 0) put_word(writer, static_cast<std::uint32_t>(writer.pending));
    return stream;
}

}  // namespace norvak
