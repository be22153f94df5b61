// Well-formed packed streams of every kind the format allows, made token by token with the
// test stream builder (never with the codec's own writers): they are the starting points
// that the fault tests damage and the fuzz targets' seeds.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/sample_save.h"
#include "support/stream_builder.h"

namespace norvak::faults {

struct ValidStream {
    std::string name;
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> content;  // what it expands to
};

namespace detail {

inline std::vector<std::uint8_t> random_content(std::size_t size, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Text-like content from a small alphabet with repeats from every distance class, so a
// parse of it holds copies of all classes and of short and long lengths.
inline std::vector<std::uint8_t> content_with_repeats(std::size_t size, std::mt19937& random) {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < size) {
        if (bytes.size() < 2 || random() % 3 == 0) {
            bytes.push_back(static_cast<std::uint8_t>("abcdeABCDE 0123\n\xff"[random() % 17]));
            continue;
        }
        const std::size_t reach = std::min<std::size_t>(bytes.size(), 510);
        const std::size_t distance = 1 + random() % reach;
        const std::size_t length = 2 + (random() % 4 == 0 ? random() % 300 : random() % 12);
        for (std::size_t i = 0; i < length; ++i) bytes.push_back(bytes[bytes.size() - distance]);
    }
    bytes.resize(size);
    return bytes;
}

struct Parsed {
    test::StreamBuilder builder;
    std::size_t last_copy_length = 0;  // 0 when the last token is a literal
};

// A parse that takes at each position some repeat within reach (the longest at a random
// distance among those of two bytes or more), else a literal.
inline Parsed parse_with_copies(const std::vector<std::uint8_t>& content, std::mt19937& random) {
    Parsed parsed;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::vector<std::pair<std::size_t, std::size_t>> repeats;  // distance, length
        for (std::size_t distance = 1; distance <= 510 && distance <= pos; ++distance) {
            std::size_t length = 0;
            while (pos + length < content.size() && content[pos + length] == content[pos + length - distance]) ++length;
            if (length >= 2) repeats.emplace_back(distance, length);
        }
        if (repeats.empty() || random() % 8 == 0) {
            parsed.builder.literal(content[pos++]);
            parsed.last_copy_length = 0;
            continue;
        }
        const auto [distance, length] = repeats[random() % repeats.size()];
        parsed.builder.copy(static_cast<unsigned>(distance), length);
        parsed.last_copy_length = length;
        pos += length;
    }
    return parsed;
}

}  // namespace detail

// The same list on every call: a fixed seed.
inline std::vector<ValidStream> valid_streams() {
    std::mt19937 random(20240611);
    std::vector<ValidStream> streams;

    streams.push_back({"empty", {0, 0, 0, 0}, {}});
    streams.push_back({"empty with ignored bytes", {0, 0, 0, 0, 0xde, 0xad, 0xbe, 0xef, 0x01}, {}});

    for (std::size_t size : {1u, 5u, 64u, 700u}) {
        ValidStream stored{"stored " + std::to_string(size), {}, detail::random_content(size, random)};
        stored.stream = test::StreamBuilder().stream(-static_cast<std::int32_t>(size));
        stored.stream.insert(stored.stream.end(), stored.content.begin(), stored.content.end());
        streams.push_back(std::move(stored));
    }

    for (std::size_t size : {1u, 3u, 6u, 31u, 32u, 33u, 257u, 2000u}) {
        std::vector<std::uint8_t> content = detail::random_content(size, random);
        streams.push_back({"literals " + std::to_string(size),
                           test::StreamBuilder().literals(content).stream(static_cast<std::int32_t>(size)),
                           content});
    }

    for (std::size_t size : {12u, 90u, 600u, 1500u, 3000u}) {
        std::vector<std::uint8_t> content = detail::content_with_repeats(size, random);
        detail::Parsed parsed = detail::parse_with_copies(content, random);
        streams.push_back({"repeats " + std::to_string(size),
                           parsed.builder.stream(static_cast<std::int32_t>(size)), content});
        // The same tokens under a smaller header: the last copy overshoots it.
        if (parsed.last_copy_length > 1) {
            const std::size_t surplus = 1 + random() % (parsed.last_copy_length - 1);
            content.resize(size - surplus);
            streams.push_back({"repeats " + std::to_string(size) + " with surplus",
                               parsed.builder.stream(static_cast<std::int32_t>(content.size())), content});
        }
    }

    {
        // One long run: a literal and a copy whose length code has many fields.
        std::vector<std::uint8_t> content(5000, 'z');
        streams.push_back({"long run", test::StreamBuilder().literal('z').copy(1, 4999).stream(5000), content});
    }

    {
        const test::SampleSave sample = test::make_sample_save();
        const std::string text = test::sample_content();
        streams.push_back({"sample save", sample.stream, {text.begin(), text.end()}});
    }
    return streams;
}

}  // namespace norvak::faults
