// Benchmark inputs, made deterministically so runs compare: plain content and packed
// streams written with a small bit writer of the benchmark's own.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/packed_stream.h"

namespace norvak::bench {

// 64 MiB, or NORVAK_BENCH_MIB mebibytes (the smoke test runs on 1).
inline std::size_t bench_content_bytes() {
    static const std::size_t bytes = [] {
        const char* mib = std::getenv("NORVAK_BENCH_MIB");
        const long value = mib != nullptr ? std::atol(mib) : 0;
        return std::size_t{value > 0 ? static_cast<std::size_t>(value) : 64} << 20;
    }();
    return bytes;
}

class Xorshift {
public:
    explicit Xorshift(std::uint64_t seed) : x_(seed * 0x9e3779b97f4a7c15u + 1) {}
    std::uint64_t next() {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 7;
        x_ ^= x_ << 17;
        return x_;
    }

private:
    std::uint64_t x_;
};

// Bytes with some structure (runs of a few values mixed with noise), like a save's content.
inline std::vector<std::uint8_t> plain_content(std::size_t size) {
    std::vector<std::uint8_t> content(size);
    Xorshift rng(1);
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t r = rng.next();
        for (std::size_t k = 0; k < 8 && i + k < size; ++k) content[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
    }
    return content;
}

class BitWriter {
public:
    void put(std::uint64_t value, unsigned width) {  // width <= 32
        acc_ |= value << count_;
        count_ += width;
        while (count_ >= 8) {
            bytes_.push_back(static_cast<std::uint8_t>(acc_));
            acc_ >>= 8;
            count_ -= 8;
        }
    }
    std::vector<std::uint8_t> finish(std::uint32_t n) {
        std::vector<std::uint8_t> stream(kSizeHeaderBytes);
        write_size_header(n, stream.data());
        stream.insert(stream.end(), bytes_.begin(), bytes_.end());
        if (count_ != 0) stream.push_back(static_cast<std::uint8_t>(acc_));
        while ((stream.size() - kSizeHeaderBytes) % kWordBytes != 0) stream.push_back(0);
        return stream;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t acc_ = 0;
    unsigned count_ = 0;
};

// Copy tokens only (after 510 opening literals): distance classes evenly, every field value
// of a class alike, and length codes of 1 to 9 fields, each longer one half as often, so
// the mean copy is about 20 bytes and the stream is mostly short tokens.
inline std::vector<std::uint8_t> copy_heavy_stream(std::size_t size) {
    BitWriter writer;
    Xorshift rng(2);
    std::size_t produced = 0;
    for (; produced < kMaxDistance && produced < size; ++produced) writer.put(static_cast<std::uint64_t>(rng.next() & 0xff) << 1, 9);
    while (produced < size) {
        const std::uint64_t r = rng.next();
        const unsigned cls = r & 7;
        const unsigned field = static_cast<unsigned>(r >> 3) & ((2u << cls) - 1);
        writer.put(1, 1);
        writer.put(cls, 3);
        writer.put(field, cls + 1);
        unsigned all_ones = 0;  // fields before the last: 0 with chance 1/2, 1 with 1/4, ...
        for (std::uint64_t coin = r >> 16; all_ones < 8 && (coin & 1) != 0; coin >>= 1) ++all_ones;
        std::uint64_t length = kMinCopyLength;
        for (unsigned k = 0; k < all_ones; ++k) {
            writer.put(kLengthFieldMasks[k + 2], k + 2);
            length += kLengthFieldMasks[k + 2];
        }
        const std::uint64_t last = (r >> 32) % kLengthFieldMasks[all_ones + 2];  // never all ones
        writer.put(last, all_ones + 2);
        produced += static_cast<std::size_t>(length + last);
    }
    return writer.finish(static_cast<std::uint32_t>(size));
}

}  // namespace norvak::bench
