// The packer: the smallest packed stream for a content, by an exact optimal parse.
//
// Every byte position 0..n is a node; a literal is an edge of 9 bits to the next node, a copy
// of distance d and length L an edge of 5 + class(d) + code_bits(L) bits to the node L ahead.
// The shortest path from 0 to n is the smallest stream, because the stream is the header plus
// the bits rounded up to whole words.
//
// Three facts keep the search exact and fast:
//  - For each distance class only the furthest match end reached by that class or a cheaper
//    one matters, and that end never moves backwards from one position to the next (a match
//    of distance d at p that runs on is a match of distance d at p + 1 too). So the matcher
//    keeps eight ends and only has to look at matches that start at p, never at ones that
//    merely continue; runs of one byte are kept as runs, so long ones cost nothing once found.
//  - The length code has the same size for every length of a group ([2,4], [5,11], [12,26],
//    ...), so among the sources of one class that reach a node, the cheapest copy of each
//    group comes from the group's oldest source once the dearer older ones are dropped. One
//    chain of sources per class gives the copies of 27 bytes and more; the shorter ones are
//    offered directly to the next nodes (those of 12 to 26 bytes once the source is 12 back).
//  - Where a position has the same match ends as the one before and costs no less, its
//    copies are no better than those a byte longer from there, except across a group edge.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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
constexpr unsigned kHashBits = 12;   // small tables stay in the first-level cache

// For each class c, the furthest end of a match at the current position whose distance is in
// class c or a cheaper one, and that distance. Ends below position + 2 are stale.
struct Reach {
    std::array<Position, kDistanceClassCount> end{};
    std::array<std::uint16_t, kDistanceClassCount> distance{};
    std::uint32_t changes = 1;  // updates that moved an end at this position (position 0 counts as moved)
};

void extend_reach(Reach& reach, unsigned cls, Position end, unsigned distance) {
    if (cls >= kDistanceClassCount || end <= reach.end[cls]) return;
    ++reach.changes;
    for (; cls < kDistanceClassCount && end > reach.end[cls]; ++cls) {
        reach.end[cls] = end;
        reach.distance[cls] = static_cast<std::uint16_t>(distance);
    }
}

// A maximal run of one byte, at least 4 long.
struct ByteRun {
    Position start;
    Position end;
    std::uint32_t previous_same_byte;  // run number, or kNoRun
    std::uint32_t previous_same_ending;  // of a run whose key hashes alike, or kNoRun
};
constexpr std::uint32_t kNoRun = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kRunRingSize = 256;  // more runs than fit in a window and the current run

// A match inside the current run that only becomes the longest further in: an earlier run of
// exactly the length left here, followed by the same bytes.
struct LaterMatch {
    Position at;
    Position end;
    std::uint16_t distance;
};

// Recent positions by their first 2, 3 and 4 bytes, in hash chains from the newest. A quad's
// skip link leads past the following chain entries that have the same byte before them.
// Positions inside runs of one byte are kept apart, as runs.
struct MatchIndex {
    std::vector<Position> pair_head = std::vector<Position>(std::size_t{1} << kHashBits, kNoPosition);
    std::vector<Position> triple_head = std::vector<Position>(std::size_t{1} << kHashBits, kNoPosition);
    std::vector<Position> quad_head = std::vector<Position>(std::size_t{1} << kHashBits, kNoPosition);
    std::array<Position, kRingSize> pair_prev{};
    std::array<Position, kRingSize> triple_prev{};
    std::array<Position, kRingSize> quad_prev{};
    std::array<Position, kRingSize> quad_skip{};

    std::array<ByteRun, kRunRingSize> runs{};
    std::uint32_t run_count = 0;
    std::array<std::uint32_t, 256> last_run_of_byte = [] {
        std::array<std::uint32_t, 256> none{};
        none.fill(kNoRun);
        return none;
    }();
    // By a hash of the run's byte and the byte after it.
    std::array<std::uint32_t, 1024> last_run_of_ending = [] {
        std::array<std::uint32_t, 1024> none{};
        none.fill(kNoRun);
        return none;
    }();
    // The latest run [run_start, run_end); its interior, where 4 of its bytes lie ahead, is
    // the interior_length positions from run_start (or from run_start + 1 past the start).
    Position run_start = 0;
    Position run_end = 0;
    Position interior_length = 0;
    std::vector<LaterMatch> later_matches;  // the next one last
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

std::uint32_t pair_bytes(const std::uint8_t* at) { return at[0] | (std::uint32_t{at[1]} << 8); }

std::uint32_t triple_bytes(const std::uint8_t* at) {
    return at[0] | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16);
}

bool in_window(Position p, Position q) { return q < p && p - q <= kMaxDistance; }

// The byte before q, or 256 at the start (a value no byte has).
unsigned byte_before(const std::uint8_t* content, Position q) { return q == 0 ? 256u : content[q - 1]; }

bool is_byte_run(std::uint32_t quad) { return quad == (quad & 0xffu) * 0x01010101u; }

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

// The nearest earlier position (in the window) whose first bytes equal `key`.
template <std::uint32_t (*Bytes)(const std::uint8_t*)>
Position nearest(const std::uint8_t* content, Position p, std::uint32_t key, const std::vector<Position>& head,
                 const std::array<Position, kRingSize>& prev) {
    for (Position q = head[hash_bytes(key)]; in_window(p, q); q = prev[q & kRingMask])
        if (Bytes(content + q) == key) return q;
    return kNoPosition;
}

unsigned run_ending_hash(std::uint8_t byte, std::uint8_t after) { return ((byte * 0x9Fu) ^ (after * 0x3Bu) ^ (after << 2)) & 1023u; }

// Position p starts a run of one byte [p, end) with end - p >= 4. Every match of 4 or more bytes
// at p lies in an earlier run of that byte; within one run and one class the furthest position
// matches longest, except the one whose run ends exactly as far from it as ours does from p,
// which may match on after both runs. Further into our run, distance 1 reaches our end and
// only those exact-length cases can beat it; they are set aside for the position they serve.
void start_byte_run(const std::uint8_t* content, Position n, Position p, MatchIndex& index, Reach& reach) {
    const std::uint8_t byte = content[p];
    const Position end = p + 4 + common_length(content, n, p + 4, p + 3);  // distance 1 from p + 4 on
    const Position left = end - p;
    index.run_start = p;
    index.run_end = end;
    index.interior_length = left - 4;
    index.later_matches.clear();

    const Position window_start = p > kMaxDistance ? p - kMaxDistance : 0;
    auto in_reach = [&](std::uint32_t r) { return r != kNoRun && index.run_count - r <= kRunRingSize && index.runs[r % kRunRingSize].end >= window_start + 4; };
    // Up to our run's end: within one class the furthest position matches longest. Once the
    // nearest class of a run already reaches our end, so do all the classes further back.
    for (std::uint32_t r = index.last_run_of_byte[byte]; in_reach(r);) {
        const ByteRun& run = index.runs[r % kRunRingSize];
        r = run.previous_same_byte;
        const Position first = std::max(run.start, window_start);
        const Position last = run.end - 4;  // the last position with 4 bytes of the run
        unsigned cls = distance_class(p - last);
        if (reach.end[cls] >= end) break;
        // Its longest match, from its furthest position, ends no further than the classes
        // it could serve already reach.
        if (reach.end[cls] >= p + std::min(run.end - first, left)) continue;
        for (; cls <= distance_class(p - first) && reach.end[cls] < end; ++cls) {
            const unsigned farthest = kDistanceClasses[cls].base + (2u << cls);
            const Position q = farthest >= p - first ? first : p - farthest;
            extend_reach(reach, cls, p + std::min(run.end - q, left), p - q);
        }
    }
    // Past our run's end only from runs followed by the same byte as ours.
    if (end != n) {
        const std::uint8_t after = content[end];
        for (std::uint32_t r = index.last_run_of_ending[run_ending_hash(byte, after)]; in_reach(r);) {
            const ByteRun& run = index.runs[r % kRunRingSize];
            r = run.previous_same_ending;
            if (content[run.start] != byte || content[run.end] != after) continue;
            const Position first = std::max(run.start, window_start);
            const Position beyond = end + common_length(content, n, end, run.end);
            if (left <= run.end - first) {
                const Position q = run.end - left;
                extend_reach(reach, distance_class(p - q), beyond, p - q);
            }
            const Position run_length = run.end - run.start;
            if (run_length < left && run.start + kMaxDistance >= end - run_length) {
                const Position at = end - run_length;
                index.later_matches.push_back({at, beyond, static_cast<std::uint16_t>(at - run.start)});
            }
        }
        if (index.later_matches.size() > 1)
            std::sort(index.later_matches.begin(), index.later_matches.end(),
                      [](const LaterMatch& a, const LaterMatch& b) { return a.at > b.at; });
    }

    const unsigned ending = end != n ? run_ending_hash(byte, content[end]) : 0;
    index.runs[index.run_count % kRunRingSize] = {p, end, index.last_run_of_byte[byte], end != n ? index.last_run_of_ending[ending] : kNoRun};
    index.last_run_of_byte[byte] = index.run_count;
    if (end != n) index.last_run_of_ending[ending] = index.run_count;
    ++index.run_count;
}

// Whether p lies inside the current run with 4 of its bytes ahead, past the run's start.
bool inside_run(const MatchIndex& index, Position p) { return p - index.run_start - 1 < index.interior_length; }

// Brings `reach` from p - 1 to p inside a run: distance 1 reaches the run's end, and only
// earlier runs of the length left can beat it.
inline void find_matches_inside_run(Position p, MatchIndex& index, Reach& reach) {
    if (p == index.run_start + 1) extend_reach(reach, 0, index.run_end, 1);
    for (; !index.later_matches.empty() && index.later_matches.back().at == p; index.later_matches.pop_back()) {
        const LaterMatch& later = index.later_matches.back();
        extend_reach(reach, distance_class(later.distance), later.end, later.distance);
    }
}

// Brings `reach` from p - 1 to p elsewhere (forced inline, like index_position: both run at
// every byte, where a call is a measurable share). A match at p either continues one at p - 1 (same
// distance, byte before equal too), whose end `reach` already holds, or starts at p. Matches of
// 2 and 3 bytes count only their shortest distance; longer ones that start at p are found in
// the quad chain, skipping whole stretches of entries whose byte before equals ours, or among
// the runs.
[[gnu::always_inline]] inline void find_matches(const std::uint8_t* content, Position n, Position p, MatchIndex& index, Reach& reach) {
    if (n - p < 2) return;
    const std::uint32_t pair = pair_bytes(content + p);
    const Position pair_at = nearest<pair_bytes>(content, p, pair, index.pair_head, index.pair_prev);
    if (pair_at == kNoPosition) {
        // No pair, so nothing longer either; but a run starting here must be known.
        if (n - p >= 4 && is_byte_run(load32(content + p)) && p >= index.run_end) start_byte_run(content, n, p, index, reach);
        return;
    }
    {
        const unsigned distance = p - pair_at;
        const bool third_equal = n - p >= 3 && content[pair_at + 2] == content[p + 2];
        extend_reach(reach, distance_class(distance), p + (third_equal ? 3 : 2), distance);
        if (!third_equal && n - p >= 3) {
            const Position q = nearest<triple_bytes>(content, p, triple_bytes(content + p), index.triple_head, index.triple_prev);
            if (q != kNoPosition) extend_reach(reach, distance_class(p - q), p + 3, p - q);
        }
    }
    if (n - p < 4) return;
    const std::uint32_t quad = load32(content + p);
    if (is_byte_run(quad)) {
        start_byte_run(content, n, p, index, reach);
        return;
    }
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

// Inside a run only its last positions can ever be the nearest of their pairs and triples for
// a lookup (run positions look nothing up), and runs keep out of the quad chains.
inline bool indexed(const MatchIndex& index, Position p) { return p - index.run_start >= index.interior_length; }

[[gnu::always_inline]] inline void index_position(const std::uint8_t* content, Position n, Position p, MatchIndex& index) {
    const Position left = n - p;
    if (left < 2) return;
    Position& pair_head = index.pair_head[hash_bytes(pair_bytes(content + p))];
    index.pair_prev[p & kRingMask] = pair_head;
    pair_head = p;
    if (left < 3) return;
    Position& triple_head = index.triple_head[hash_bytes(triple_bytes(content + p))];
    index.triple_prev[p & kRingMask] = triple_head;
    triple_head = p;
    if (left < 4) return;
    const std::uint32_t quad = load32(content + p);
    if (is_byte_run(quad)) return;
    Position& quad_head = index.quad_head[hash_bytes(quad)];
    const Position next = quad_head;
    index.quad_prev[p & kRingMask] = next;
    const bool same_before = in_window(p, next) && byte_before(content, next) == byte_before(content, p);
    index.quad_skip[p & kRingMask] = same_before ? index.quad_skip[next & kRingMask] : next;
    quad_head = p;
}

// ---------------------------------------------------------------------------------------
// The cheapest way into each node
//
// Copies of up to 11 bytes are relaxed directly into the next nodes. Longer ones come from one
// chain of sources per class (below), which a source joins when its 12-byte copy arrives; it
// then offers its copies of up to 26 bytes to the next nodes the same way.

constexpr Position kShortestChainLength = 12;  // the first length of group 2
constexpr unsigned kChainGroup = 2;            // offered as the source joins
constexpr unsigned kFirstFarGroup = 3;         // remembered between changes
static_assert(kLengthGroups[kChainGroup].first == kShortestChainLength);

// A source position that can copy into every node up to `end` with `distance`.
template <typename Cost>
struct Source {
    Position at;
    Position end;
    Cost cost;  // of reaching `at`
    std::uint16_t distance;
};

// The sources of one class, oldest first, that still matter: a newer source that costs no more
// reaches at least as far with shorter, never dearer lengths, so it replaces every such older
// one. What is left costs strictly more from front to back, and the cheapest copy of each
// length group is the group's oldest source. Every group's oldest source is remembered as
// `first[g]` (an absolute index), which only moves forward as the sources age.
//
// Group 2 (12 to 26 bytes) is not looked up here: a source offers its whole group 2 to the next
// nodes when it joins (see join_chain). The far groups change only when a source ages across a
// group edge, expires, or is displaced, so their best offer is kept until the first node where
// that can happen; between those nodes first[] may lag, which only means longer walks later.
template <typename Cost>
struct SourceChain {
    std::vector<Source<Cost>> ring;  // power-of-two size
    std::uint32_t mask = 0;          // ring.size() - 1, once there is a ring
    std::uint32_t front = 0;         // absolute indices
    std::uint32_t back = 0;
    std::array<std::uint32_t, kLengthGroupCount> first{};
    unsigned groups_in_use = 0;  // first[] is meaningful below this
    Position far_valid_until = 0;
    Cost far_total = 0;  // the far groups' best offer; far_at == kNoPosition when none
    Position far_at = kNoPosition;
    std::uint16_t far_distance = 0;
};

template <typename Cost>
Source<Cost>& chain_at(SourceChain<Cost>& chain, std::uint32_t index) {
    return chain.ring[index & chain.mask];
}

// Adds a source to its chain and returns the first of its group-2 lengths still worth offering:
// the chain's last source costs less, so its own group-2 copies beat ours into every node
// it reaches with them.
template <typename Cost>
Position chain_add(SourceChain<Cost>& chain, const Source<Cost>& source) {
    while (chain.back != chain.front && chain_at(chain, chain.back - 1).cost >= source.cost) --chain.back;
    Position first_length = kShortestChainLength;
    if (chain.back != chain.front) {
        const Source<Cost>& last = chain_at(chain, chain.back - 1);
        const Position covered = std::min<Position>(last.end, last.at + static_cast<Position>(kLengthGroups[kChainGroup].last));
        if (covered >= source.at + kShortestChainLength) first_length = covered + 1 - source.at;
    }
    if (chain.groups_in_use > kChainGroup && chain.back < chain.first[kChainGroup]) chain.far_valid_until = 0;
    for (unsigned g = kChainGroup; g < chain.groups_in_use && chain.first[g] > chain.back; ++g) chain.first[g] = chain.back;
    if (chain.back - chain.front == chain.ring.size()) {
        std::vector<Source<Cost>> grown(std::max<std::size_t>(16, chain.ring.size() * 2));
        for (std::uint32_t i = chain.front; i != chain.back; ++i) grown[i & (grown.size() - 1)] = chain_at(chain, i);
        chain.ring.swap(grown);
        chain.mask = static_cast<std::uint32_t>(chain.ring.size() - 1);
    }
    chain_at(chain, chain.back++) = source;
    // It turns far when its copies reach the first far group.
    chain.far_valid_until = std::min<Position>(chain.far_valid_until, source.at + static_cast<Position>(kLengthGroups[kFirstFarGroup].first));
    return first_length;
}

// How each node is reached: 0 for a literal, else (length << 9) | (distance - 1) for copies of
// up to 65535 bytes; a longer copy is kLongCopy | the number of its source and distance among
// `long_sources`, where the nodes deep in a long run, reached from one source, share an entry.
constexpr unsigned kStepDistanceBits = 9;
constexpr std::uint32_t kLongCopy = std::uint32_t{1} << 31;
constexpr Position kMaxPackedStepLength = 0xffff;

struct LongSource {
    Position at;
    std::uint16_t distance;
};

// The steps are written once per node, front to back, which for a big content is mostly page
// faults in 4 KiB pages. On Linux they are aligned for and advised into huge pages instead.
struct StepsRelease {
    std::align_val_t alignment;
    void operator()(std::uint32_t* steps) const { ::operator delete(steps, alignment); }
};
using Steps = std::unique_ptr<std::uint32_t[], StepsRelease>;

Steps allocate_steps(std::size_t count) {
    const std::size_t bytes = count * sizeof(std::uint32_t);
#if defined(__linux__)
    constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
    if (bytes >= kHugePageBytes) {
        const std::align_val_t alignment{kHugePageBytes};
        Steps steps(static_cast<std::uint32_t*>(::operator new(bytes, alignment)), StepsRelease{alignment});
        madvise(steps.get(), bytes, MADV_HUGEPAGE);  // only advice: nothing to do when refused
        return steps;
    }
#endif
    const std::align_val_t alignment{alignof(std::uint32_t)};
    return Steps(static_cast<std::uint32_t*>(::operator new(bytes, alignment)), StepsRelease{alignment});
}

struct Parse {
    Steps steps;  // per node 1..n; [0] is spare
    std::vector<LongSource> long_sources;
    std::uint64_t bits = 0;
};

std::uint32_t pack_step(Position length, unsigned distance) { return (length << kStepDistanceBits) | (distance - 1u); }

// Walks the groups from `g` on over the sources before `upper`, moving each group's first[]
// past the sources that have aged out of it, until the group that holds the front. Calls
// offer(g, source) for each group's oldest source and returns the group after the last.
template <typename Cost, typename OfferFn>
unsigned walk_groups(SourceChain<Cost>& chain, Position node, unsigned g, unsigned g_end, std::uint32_t upper, OfferFn offer) {
    for (; g < g_end; ++g) {
        std::uint32_t f = g < chain.groups_in_use ? std::max(chain.first[g], chain.front) : chain.front;
        f = std::min(f, upper);
        const std::uint64_t last = kLengthGroups[g].last;
        while (f != upper && chain_at(chain, f).at + last < node) ++f;
        chain.first[g] = f;
        if (f != upper) offer(g, chain_at(chain, f));
        if (f == chain.front) {
            chain.groups_in_use = g + 1;
            return g + 1;
        }
        upper = f;
    }
    chain.groups_in_use = std::max(chain.groups_in_use, g_end);
    return g_end;
}

// Brings the chain's far offer up to `node`: drops the expired sources, finds where group 2
// begins, and walks the far groups before it for their best copy and the next node where that
// can change.
template <typename Cost>
void refresh_far_offer(SourceChain<Cost>& chain, unsigned cls, Position node) {
    while (chain.front != chain.back && chain_at(chain, chain.front).end < node) ++chain.front;
    chain.far_at = kNoPosition;
    if (chain.front == chain.back) {
        chain.groups_in_use = 0;
        chain.far_valid_until = 0;
        return;
    }
    walk_groups(chain, node, kChainGroup, kFirstFarGroup, chain.back, [](unsigned, const Source<Cost>&) {});
    const std::uint32_t near_start = chain.first[kChainGroup];
    const Source<Cost>& front = chain_at(chain, chain.front);
    if (near_start == chain.front) {
        // Nothing far until the front turns far or expires.
        chain.far_valid_until = std::min<Position>(front.end + 1, front.at + static_cast<Position>(kLengthGroups[kFirstFarGroup].first));
        return;
    }
    // The next change: a far group's oldest source ages out, the oldest group-2 source turns
    // far, or the front expires.
    Position until = front.end + 1;
    if (near_start != chain.back)
        until = std::min<Position>(until, chain_at(chain, near_start).at + static_cast<Position>(kLengthGroups[kFirstFarGroup].first));
    walk_groups(chain, node, kFirstFarGroup, kLengthGroupCount, near_start, [&](unsigned g, const Source<Cost>& source) {
        const Cost total = source.cost + copy_token_bits(cls, g);
        if (chain.far_at == kNoPosition || total < chain.far_total) {
            chain.far_total = total;
            chain.far_at = source.at;
            chain.far_distance = source.distance;
        }
        until = static_cast<Position>(std::min<std::uint64_t>(until, source.at + kLengthGroups[g].last + 1));
    });
    chain.far_valid_until = until;
}

// The cheapest far copy of all the chains, until the first node where one of them may change:
// the one a walk over the classes from the cheapest would take, a dearer class only when it is
// strictly cheaper. `total` is the maximum when there is none.
template <typename Cost>
struct BestFarOffer {
    Cost total = std::numeric_limits<Cost>::max();
    Position at = 0;
    std::uint16_t distance = 0;
    Position valid_until = 0;
};

template <typename Cost>
void refresh_best_far_offer(std::array<SourceChain<Cost>, kDistanceClassCount>& chains, unsigned& live_classes, Position node,
                            BestFarOffer<Cost>& far) {
    far = BestFarOffer<Cost>{};
    far.valid_until = kNoPosition;
    for (unsigned live = live_classes; live != 0; live &= live - 1) {
        const auto cls = static_cast<unsigned>(std::countr_zero(live));
        SourceChain<Cost>& chain = chains[cls];
        if (node >= chain.far_valid_until) {
            refresh_far_offer(chain, cls, node);
            if (chain.front == chain.back) {
                live_classes &= ~(1u << cls);
                continue;
            }
        }
        if (chain.far_at != kNoPosition && chain.far_total < far.total) {
            far.total = chain.far_total;
            far.at = chain.far_at;
            far.distance = chain.far_distance;
        }
        far.valid_until = std::min(far.valid_until, chain.far_valid_until);
    }
}

// Sources waiting to join their classes' chains: slot p % 16 holds those of position p, one
// per class in `classes`, until node p + 12.
template <typename Cost>
struct WaitingSources {
    std::array<std::array<Source<Cost>, kDistanceClassCount>, 16> sources;
    std::array<std::uint8_t, 16> classes{};
};
static_assert(16 > kShortestChainLength);

constexpr unsigned kShortCopyMask = 15;  // ring of arrivals for the next nodes
// A joining source reaches 14 nodes past the current one, which is taken right after.
static_assert(kLengthGroups[kChainGroup].last - kShortestChainLength < kShortCopyMask);

// The cheapest short copy found so far into each of the next nodes, as (total << 32) | step
// so that one unsigned minimum keeps the cheaper. 32-bit costs only; the 64-bit ones (for
// contents of more than 477 million bytes) keep the two apart.
template <typename Cost>
struct ShortArrivals {
    std::array<Cost, kShortCopyMask + 1> total;
    std::array<std::uint32_t, kShortCopyMask + 1> step{};
};

template <>
struct ShortArrivals<std::uint32_t> {
    std::array<std::uint64_t, kShortCopyMask + 1> packed;
};

void clear_arrivals(ShortArrivals<std::uint32_t>& arrivals) { arrivals.packed.fill(std::numeric_limits<std::uint64_t>::max()); }

void clear_arrivals(ShortArrivals<std::uint64_t>& arrivals) { arrivals.total.fill(std::numeric_limits<std::uint64_t>::max()); }

// Offers copies of lengths first..last (one length group) from p, all of one total.
void offer_arrivals(ShortArrivals<std::uint32_t>& arrivals, Position p, Position first, Position last, std::uint32_t total,
                    std::uint32_t distance_bits) {
    std::uint64_t packed = (std::uint64_t{total} << 32) | (first << kStepDistanceBits) | distance_bits;
    for (Position length = first; length <= last; ++length, packed += 1u << kStepDistanceBits) {
        std::uint64_t& slot = arrivals.packed[(p + length) & kShortCopyMask];
        slot = std::min(slot, packed);
    }
}

void offer_arrivals(ShortArrivals<std::uint64_t>& arrivals, Position p, Position first, Position last, std::uint64_t total,
                    std::uint32_t distance_bits) {
    for (Position length = first; length <= last; ++length) {
        const unsigned slot = (p + length) & kShortCopyMask;
        if (total < arrivals.total[slot]) {
            arrivals.total[slot] = total;
            arrivals.step[slot] = (length << kStepDistanceBits) | distance_bits;
        }
    }
}

// Takes the arrival into `slot`'s node if it beats `best`, and frees the slot.
void take_arrival(ShortArrivals<std::uint32_t>& arrivals, unsigned slot, std::uint32_t& best, std::uint32_t& step) {
    const std::uint64_t packed = arrivals.packed[slot];
    arrivals.packed[slot] = std::numeric_limits<std::uint64_t>::max();
    if ((packed >> 32) < best) {
        best = static_cast<std::uint32_t>(packed >> 32);
        step = static_cast<std::uint32_t>(packed);
    }
}

void take_arrival(ShortArrivals<std::uint64_t>& arrivals, unsigned slot, std::uint64_t& best, std::uint32_t& step) {
    if (arrivals.total[slot] < best) {
        best = arrivals.total[slot];
        step = arrivals.step[slot];
    }
    arrivals.total[slot] = std::numeric_limits<std::uint64_t>::max();
}

// Offers every copy of 2 to 11 bytes from p, each length in the cheapest class that reaches it.
template <typename Cost>
void relax_short_copies(const Reach& reach, Position p, Cost cost, ShortArrivals<Cost>& arrivals) {
    const Position furthest = reach.end[kDistanceClassCount - 1];
    const Position short_end = p + kShortestChainLength - 1;
    for (unsigned cls = 0, covered = p + 1; covered < furthest && covered < short_end; ++cls) {
        const Position end = reach.end[cls];
        if (end <= covered) continue;
        const std::uint32_t distance_bits = reach.distance[cls] - 1u;
        const Position first = std::max<Position>(covered + 1, p + kMinCopyLength) - p;
        const Position last = std::min<Position>(end, short_end) - p;
        constexpr auto kGroup0Last = static_cast<Position>(kLengthGroups[0].last);
        offer_arrivals(arrivals, p, first, std::min(last, kGroup0Last), cost + copy_token_bits(cls, 0), distance_bits);
        offer_arrivals(arrivals, p, std::max(first, kGroup0Last + 1), last, cost + copy_token_bits(cls, 1), distance_bits);
        covered = end;
    }
}

// The same when p - 1 had the very same match ends and cost no more than p: then each node
// gets the same class from both, and a copy from p is no cheaper than the one a byte longer
// from p - 1 unless that one's length is in the next group. So only the last length of each
// group is offered; the others are matched by what p - 1 (or the position where this
// stretch began) has offered already.
template <typename Cost>
void relax_group_ends(const Reach& reach, Position p, Cost cost, ShortArrivals<Cost>& arrivals) {
    for (unsigned g = 0; g < 2; ++g) {
        const auto length = static_cast<Position>(kLengthGroups[g].last);
        for (unsigned cls = 0; cls < kDistanceClassCount; ++cls) {
            if (reach.end[cls] < p + length) continue;
            offer_arrivals(arrivals, p, length, length, cost + copy_token_bits(cls, g), reach.distance[cls] - 1u);
            break;
        }
    }
}

template <typename Cost>
Parse parse_content(std::span<const std::uint8_t> content) {
    const std::uint8_t* bytes = content.data();
    const auto n = static_cast<Position>(content.size());
    Parse parse;
    parse.steps = allocate_steps(std::size_t{n} + 1);
    MatchIndex index;
    Reach reach;
    ShortArrivals<Cost> short_arrivals;
    clear_arrivals(short_arrivals);
    std::array<SourceChain<Cost>, kDistanceClassCount> chains;
    unsigned live_classes = 0;
    BestFarOffer<Cost> far;
    WaitingSources<Cost> waiting;
    Cost cost = 0;           // of reaching p
    Cost previous_cost = 0;  // of reaching p - 1

    // Inside a run the matcher has nothing to do before this position: the next earlier run
    // that only now matches longest, or the run's last indexed position.
    Position matcher_idle_until = 0;

    for (Position p = 0; p < n; ++p) {
        if (p >= matcher_idle_until) {
            if (inside_run(index, p)) {
                find_matches_inside_run(p, index, reach);
                const Position indexed_from = index.run_start + index.interior_length;
                matcher_idle_until = index.later_matches.empty() ? indexed_from : std::min(indexed_from, index.later_matches.back().at);
            } else {
                find_matches(bytes, n, p, index, reach);
            }
            if (indexed(index, p)) index_position(bytes, n, p, index);
        }

        // The source p offers in class cls, up to end, for the chains.
        const auto add_source = [&](unsigned cls, Position end) {
            // The source of p - 1 in this class, if it cost no less, is never needed: from its
            // first long copy on, p offers the same nodes as cheaply (its 11-byte copy, then
            // its own long ones). Its slot holds only sources of p - 1, which cost previous_cost.
            const unsigned before = (p - 1) % 16;
            if ((waiting.classes[before] >> cls & 1u) != 0 && previous_cost >= cost)
                waiting.classes[before] &= static_cast<std::uint8_t>(~(1u << cls));
            waiting.sources[p % 16][cls] = {p, end, cost, reach.distance[cls]};
            waiting.classes[p % 16] |= static_cast<std::uint8_t>(1u << cls);
        };
        const Position furthest = reach.end[kDistanceClassCount - 1];
        const bool same_as_before = reach.changes == 0 && cost >= previous_cost;
        if (furthest >= p + kMinCopyLength && reach.end[0] == furthest) {
            // Distance class 0 alone serves every length (inside runs, mostly): the loops
            // below with one class.
            const Position span = furthest - p;
            const std::uint32_t distance_bits = reach.distance[0] - 1u;
            constexpr auto kGroup0Last = static_cast<Position>(kLengthGroups[0].last);
            constexpr auto kGroup1Last = static_cast<Position>(kLengthGroups[1].last);
            if (same_as_before) {
                if (span >= kGroup0Last) offer_arrivals(short_arrivals, p, kGroup0Last, kGroup0Last, cost + copy_token_bits(0, 0), distance_bits);
                if (span >= kGroup1Last) offer_arrivals(short_arrivals, p, kGroup1Last, kGroup1Last, cost + copy_token_bits(0, 1), distance_bits);
            } else {
                offer_arrivals(short_arrivals, p, kMinCopyLength, std::min(span, kGroup0Last), cost + copy_token_bits(0, 0), distance_bits);
                offer_arrivals(short_arrivals, p, kGroup0Last + 1, std::min(span, kGroup1Last), cost + copy_token_bits(0, 1), distance_bits);
            }
            if (span >= kShortestChainLength) add_source(0, furthest);
        } else if (furthest >= p + kMinCopyLength) {
            if (same_as_before) {
                relax_group_ends(reach, p, cost, short_arrivals);
            } else {
                relax_short_copies(reach, p, cost, short_arrivals);
            }
            if (furthest - p >= kShortestChainLength) {
                // Each class serves the lengths past those a cheaper class reaches.
                for (unsigned cls = 0, covered = p + 1; covered < furthest; ++cls) {
                    const Position end = reach.end[cls];
                    if (end <= covered) continue;
                    if (end - p >= kShortestChainLength) add_source(cls, end);
                    covered = end;
                }
            }
        }

        const Position node = p + 1;
        // Sources whose 12-byte copies first arrive here join their chains.
        // (Before node 12 the slot is one no position has filled yet.)
        const unsigned slot = (node - kShortestChainLength) % 16;
        if (unsigned joining = waiting.classes[slot]; joining != 0) {
            waiting.classes[slot] = 0;
            do {
                const auto cls = static_cast<unsigned>(std::countr_zero(joining));
                const Source<Cost>& source = waiting.sources[slot][cls];
                // Its group-2 copies, into this node and the next 14 as far as the match runs.
                // Kept even if a cheaper source displaces it later: each is a real copy, and
                // the displacing source's own copies are no dearer.
                constexpr auto kChainGroupLast = static_cast<Position>(kLengthGroups[kChainGroup].last);
                const Position first_length = chain_add(chains[cls], source);
                offer_arrivals(short_arrivals, source.at, first_length, std::min(source.end - source.at, kChainGroupLast),
                               source.cost + copy_token_bits(cls, kChainGroup), source.distance - 1u);
                live_classes |= 1u << cls;
                far.valid_until = std::min(far.valid_until, chains[cls].far_valid_until);
                joining &= joining - 1;
            } while (joining != 0);
        }

        Cost best = cost + kLiteralTokenBits;
        std::uint32_t step = 0;
        take_arrival(short_arrivals, node & kShortCopyMask, best, step);
        if (node >= far.valid_until) refresh_best_far_offer(chains, live_classes, node, far);
        if (far.total < best) {
            best = far.total;
            const Position long_length = node - far.at;
            if (long_length <= kMaxPackedStepLength) {
                step = pack_step(long_length, far.distance);
            } else {
                std::vector<LongSource>& sources = parse.long_sources;
                if (sources.empty() || sources.back().at != far.at || sources.back().distance != far.distance)
                    sources.push_back({far.at, far.distance});
                step = kLongCopy | static_cast<std::uint32_t>(sources.size() - 1);
            }
        }
        parse.steps[node] = step;
        reach.changes = 0;
        previous_cost = cost;
        cost = best;
    }
    parse.bits = cost;
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
    const unsigned head_bits = kFlagBits + kDistanceClassBits + kDistanceClasses[cls].field_bits;
    const std::uint32_t head = kCopyFlag | (cls << kFlagBits) | ((offset - kDistanceClasses[cls].base) << (kFlagBits + kDistanceClassBits));
    // Group g holds the lengths L with L + g + 2 of bit width g + 3; without the g that is
    // g + 3 or, near the group's start, one less.
    auto g = static_cast<unsigned>(std::bit_width(length + 2)) - 3;
    if (length > kLengthGroups[g].last) ++g;
    const LengthGroup& group = kLengthGroups[g];
    if (head_bits + group.code_bits <= kWordBits) {
        // The all-ones fields, then what is left in the last one: one field of code_bits.
        const unsigned ones = group.code_bits - (kFirstLengthFieldBits + g);
        const std::uint32_t code = kLengthFieldMasks[ones] | (static_cast<std::uint32_t>(length - group.first) << ones);
        put_bits(writer, head | (code << head_bits), head_bits + group.code_bits);
        return;
    }
    put_bits(writer, head, head_bits);
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

    // Walk back from the end and gather the path's steps at the end of the array, first to
    // last: the k-th step from the end goes to steps[n - k], which is no lower than the node
    // it was read from, so nothing the walk has yet to read is overwritten. The writing then
    // reads them in order from a compact stretch.
    std::uint32_t* steps = parse.steps.get();
    struct LongCopy {
        Position length;
        std::uint16_t distance;
    };
    std::vector<LongCopy> path_long_copies;  // last first
    Position first_step = n + 1;
    for (Position node = n; node != 0;) {
        // The walk runs backwards through an array far bigger than the caches, at a pace the
        // processor does not foresee: ask for the steps a few hundred nodes on early.
        constexpr Position kPrefetchDistance = 256;
        if (node >= kPrefetchDistance) __builtin_prefetch(steps + (node - kPrefetchDistance));
        const std::uint32_t step = steps[node];
        Position length = 1;
        if (step & kLongCopy) {
            const LongSource& source = parse.long_sources[step & ~kLongCopy];
            length = node - source.at;
            path_long_copies.push_back({length, source.distance});
        } else if (step != 0) {
            length = step >> kStepDistanceBits;
        }
        steps[--first_step] = step;
        node -= length;
    }

    std::vector<std::uint8_t> stream(kSizeHeaderBytes + kWordBytes * static_cast<std::size_t>((parse.bits + kWordBits - 1) / kWordBits));
    for (unsigned i = 0; i < kSizeHeaderBytes; ++i) stream[i] = static_cast<std::uint8_t>(n >> (8 * i));
    BitWriter writer{stream.data() + kSizeHeaderBytes};
    Position node = 0;
    for (Position i = first_step; i != n + 1; ++i) {
        const std::uint32_t token = steps[i];
        if (token == 0) {
            put_bits(writer, (unsigned{content[node]} << kFlagBits) | kLiteralFlag, kLiteralTokenBits);
            ++node;
        } else if (token & kLongCopy) {
            const LongCopy& copy = path_long_copies.back();
            put_copy(writer, copy.length, copy.distance);
            node += copy.length;
            path_long_copies.pop_back();
        } else {
            put_copy(writer, token >> kStepDistanceBits, (token & ((1u << kStepDistanceBits) - 1)) + 1);
            node += token >> kStepDistanceBits;
        }
    }
    if (writer.pending_bits != 0) put_word(writer, static_cast<std::uint32_t>(writer.pending));
    return stream;
}

}  // namespace norvak
