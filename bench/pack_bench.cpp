// pack_stream on deterministic inputs: save-like records, text and random bytes. Besides the
// speed each case reports the packed size beside the literal-only size of Encode.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "codec/packed_stream.h"

namespace norvak {
namespace {

// 4 MiB, or NORVAK_BENCH_MIB mebibytes (the smoke test runs on 1).
std::size_t pack_bench_bytes() {
    const char* mib = std::getenv("NORVAK_BENCH_MIB");
    const long value = mib != nullptr ? std::atol(mib) : 0;
    return std::size_t{value > 0 ? static_cast<std::size_t>(value) : 4} << 20;
}

struct Random {
    std::uint64_t x;
    std::uint64_t next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    }
    unsigned below(unsigned bound) { return static_cast<unsigned>(next() % bound); }
};

void put_le(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_name(std::vector<std::uint8_t>& out, const std::string& name, std::size_t field) {
    for (std::size_t i = 0; i < field; ++i) out.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
}

// Like a trading game's save: town records with stocks and prices, ship records with names,
// cargo and positions, tables of small counters, empty slots and zeroed reserves.
std::vector<std::uint8_t> save_like(std::size_t size) {
    static const char* const kTowns[] = {"Luebeck", "Hamburg", "Bremen", "Rostock", "Stralsund", "Danzig",
                                         "Riga",    "Reval",   "Visby",  "Bergen",  "Stockholm", "Novgorod"};
    static const char* const kShips[] = {"Adler", "Kogge", "Snikke", "Holk", "Kraier", "Seeadler", "Margarete"};
    std::vector<std::uint8_t> out;
    Random random{0x5eed};
    std::uint32_t next_id = 1;
    while (out.size() < size) {
        for (const char* town : kTowns) {
            put_name(out, town, 32);
            put_le(out, next_id++, 4);
            for (int good = 0; good < 20; ++good) {
                put_le(out, random.below(4) == 0 ? 0 : random.below(5000), 4);
                put_le(out, 10 + random.below(40) * 5, 2);
                put_le(out, random.below(3), 2);
            }
            for (int building = 0; building < 64; ++building) out.push_back(random.below(4) == 0 ? static_cast<std::uint8_t>(random.below(4)) : 0);
            out.insert(out.end(), 16, 0);
        }
        for (int ship = 0; ship < 200; ++ship) {
            const bool empty_slot = random.below(5) == 0;
            if (empty_slot) {
                out.insert(out.end(), 96, 0);
                continue;
            }
            put_name(out, std::string(kShips[random.below(7)]) + " " + std::to_string(ship), 20);
            out.push_back(static_cast<std::uint8_t>(random.below(4)));
            out.push_back(0);
            put_le(out, 0x44000000u + random.below(1 << 20), 4);  // float-like position
            put_le(out, 0x43800000u + random.below(1 << 20), 4);
            for (int good = 0; good < 20; ++good) put_le(out, random.below(3) == 0 ? random.below(200) : 0, 2);
            put_le(out, random.below(400), 4);
            put_le(out, random.below(12), 2);
            out.insert(out.end(), 20, 0);
        }
        for (int day = 0; day < 365; ++day) put_le(out, random.below(100), 4);
        out.insert(out.end(), 256 + random.below(2048), 0);
    }
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> text_like(std::size_t size) {
    static const char* const kWords[] = {"the",  "ship", "sails",   "from",  "harbour", "with", "a",     "load",
                                         "of",   "cloth", "and",    "salt",  "towards", "town", "where", "merchants",
                                         "pay",  "well",  "for",    "grain", "beer",    "fish", "timber", "in",
                                         "winter", "guild", "council", "mayor", "prices",  "rise", "fall",  "again"};
    std::vector<std::uint8_t> out;
    Random random{42};
    while (out.size() < size) {
        const std::string word = kWords[random.below(32)];
        out.insert(out.end(), word.begin(), word.end());
        const unsigned end = random.below(12);
        out.push_back(end == 0 ? '.' : end == 1 ? ',' : ' ');
        if (end == 0 && random.below(4) == 0) out.push_back('\n');
    }
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> random_bytes(std::size_t size) {
    std::vector<std::uint8_t> out(size);
    Random random{7};
    for (auto& b : out) b = static_cast<std::uint8_t>(random.next() >> 24);
    return out;
}

void pack(benchmark::State& state, const std::vector<std::uint8_t>& content) {
    std::size_t packed = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> stream = pack_stream(content);
        packed = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
    state.counters["content"] = static_cast<double>(content.size());
    state.counters["packed"] = static_cast<double>(packed);
    state.counters["literal"] = static_cast<double>(literal_stream_size(content.size()));
    state.counters["packed/literal"] = static_cast<double>(packed) / static_cast<double>(literal_stream_size(content.size()));
}

void BM_PackSaveLike(benchmark::State& state) {
    static const std::vector<std::uint8_t> content = save_like(pack_bench_bytes());
    pack(state, content);
}

void BM_PackText(benchmark::State& state) {
    static const std::vector<std::uint8_t> content = text_like(pack_bench_bytes());
    pack(state, content);
}

void BM_PackRandom(benchmark::State& state) {
    static const std::vector<std::uint8_t> content = random_bytes(pack_bench_bytes());
    pack(state, content);
}

void BM_PackZeros(benchmark::State& state) {
    static const std::vector<std::uint8_t> content(pack_bench_bytes(), 0);
    pack(state, content);
}

BENCHMARK(BM_PackSaveLike)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackZeros)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norvak
