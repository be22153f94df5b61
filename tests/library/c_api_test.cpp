// The C API through the shared library: main paths, every status, buffer sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "library/damaged_streams.h"
#include "norvak/norvak.h"
#include "support/stream_builder.h"

namespace {

using norvak::test::bytes_of;
using norvak::test::StreamBuilder;
using Bytes = std::vector<std::uint8_t>;

// Decodes into a buffer of exactly the announced size.
Bytes decode_c(const Bytes& stream) {
    size_t size = 0;
    EXPECT_EQ(norvak_content_size(stream.data(), stream.size(), &size), NORVAK_OK);
    Bytes out(size);
    size_t written = 0;
    EXPECT_EQ(norvak_decode(stream.data(), stream.size(), out.data(), out.size(), &written), NORVAK_OK);
    EXPECT_EQ(written, size);
    return out;
}

Bytes decode_alloc_c(const Bytes& stream) {
    std::uint8_t* out = nullptr;
    size_t size = 0;
    EXPECT_EQ(norvak_decode_alloc(stream.data(), stream.size(), &out, &size), NORVAK_OK);
    Bytes content(out, out + size);
    norvak_free(out);
    return content;
}

Bytes encode_c(const Bytes& content) {
    Bytes out(norvak_encoded_size(content.size()));
    size_t written = 0;
    EXPECT_EQ(norvak_encode(content.data(), content.size(), out.data(), out.size(), &written), NORVAK_OK);
    EXPECT_EQ(written, out.size());
    return out;
}

Bytes pack_c(const Bytes& content) {
    Bytes out(norvak_pack_bound(content.size()));
    size_t written = 0;
    EXPECT_EQ(norvak_pack(content.data(), content.size(), out.data(), out.size(), &written), NORVAK_OK);
    EXPECT_LE(written, out.size());
    out.resize(written);
    return out;
}

Bytes varied_content() {
    Bytes content;
    std::uint32_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        // Runs, short repeats and noise, so the packer uses every kind of token.
        if (i % 1000 < 300) content.push_back('z');
        else if (i % 1000 < 600) content.push_back(static_cast<std::uint8_t>("save-file "[i % 10]));
        else content.push_back(static_cast<std::uint8_t>(state >> 24));
    }
    return content;
}

TEST(CApi, KnownStreamsDecode) {
    EXPECT_EQ(decode_c({0x03, 0, 0, 0, 0xc2, 0x88, 0x19, 0x03}), bytes_of("abc"));
    EXPECT_EQ(decode_c({0x06, 0, 0, 0, 0x82, 0x08, 0x45, 0x01}), bytes_of("ABABAB"));
    EXPECT_EQ(decode_c({0x0b, 0, 0, 0, 0x82, 0xc2, 0x05, 0x00}), Bytes(11, 'A'));
    EXPECT_EQ(decode_c({0xfb, 0xff, 0xff, 0xff, 1, 2, 3, 4, 5}), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(decode_c({0, 0, 0, 0, 9, 9}), Bytes{});
}

TEST(CApi, EncodeWritesLiteralStream) {
    EXPECT_EQ(encode_c(bytes_of("abc")), (Bytes{0x03, 0, 0, 0, 0xc2, 0x88, 0x19, 0x03}));
    EXPECT_EQ(encode_c({}), (Bytes{0, 0, 0, 0}));
}

TEST(CApi, RoundTripsThroughEveryDecoder) {
    const std::vector<Bytes> contents = {
        {}, {0x00}, bytes_of("abc"), Bytes(32, 0xff), Bytes(4097, 'x'), bytes_of("ABABABABABABAB"),
        varied_content(),
    };
    for (const Bytes& content : contents) {
        SCOPED_TRACE(content.size());
        Bytes encoded = encode_c(content);
        Bytes packed = pack_c(content);
        EXPECT_LE(packed.size(), encoded.size());
        EXPECT_EQ(decode_c(encoded), content);
        EXPECT_EQ(decode_c(packed), content);
        EXPECT_EQ(decode_alloc_c(encoded), content);
        EXPECT_EQ(decode_alloc_c(packed), content);
    }
}

TEST(CApi, DamagedStreamsGiveTheirStatus) {
    for (const auto& damaged : norvak::test::damaged_streams()) {
        SCOPED_TRACE(damaged.name);
        Bytes out(4096, 0);
        size_t size = 99;
        EXPECT_EQ(norvak_decode(damaged.stream.data(), damaged.stream.size(), out.data(), out.size(), &size),
                  damaged.status);
        EXPECT_EQ(size, 0u);

        std::uint8_t* allocated = reinterpret_cast<std::uint8_t*>(&size);
        size = 99;
        EXPECT_EQ(norvak_decode_alloc(damaged.stream.data(), damaged.stream.size(), &allocated, &size),
                  damaged.status);
        EXPECT_EQ(allocated, nullptr);
        EXPECT_EQ(size, 0u);
    }
}

TEST(CApi, ContentSizeReadsTheHeaderInEveryMode) {
    struct Case {
        Bytes header;
        size_t content_size;
    };
    const std::vector<Case> cases = {
        {{0x03, 0, 0, 0}, 3},
        {{0, 0, 0, 0, 0xff}, 0},
        {{0xfb, 0xff, 0xff, 0xff}, 5},
        {{0xff, 0xff, 0xff, 0x7f}, 0x7fffffffu},
        {{0x00, 0x00, 0x00, 0x80}, size_t{0x80000000u}},  // stored mode at its largest
    };
    for (const Case& c : cases) {
        size_t size = 1;
        EXPECT_EQ(norvak_content_size(c.header.data(), c.header.size(), &size), NORVAK_OK);
        EXPECT_EQ(size, c.content_size);
    }
    const Bytes short_stream = {1, 0, 0};
    size_t size = 0;
    EXPECT_EQ(norvak_content_size(short_stream.data(), short_stream.size(), &size), NORVAK_ERROR_MISSING_HEADER);
    EXPECT_EQ(norvak_content_size(nullptr, 0, &size), NORVAK_ERROR_MISSING_HEADER);
}

TEST(CApi, SizeFunctions) {
    EXPECT_EQ(norvak_encoded_size(0), 4u);
    EXPECT_EQ(norvak_encoded_size(3), 8u);
    EXPECT_EQ(norvak_encoded_size(32), 40u);  // ends on a word boundary
    EXPECT_EQ(norvak_encoded_size(33), 44u);
    EXPECT_EQ(norvak_pack_bound(1000), norvak_encoded_size(1000));
    EXPECT_EQ(norvak_encoded_size(0x7fffffffu), 4u + 4u * ((9ull * 0x7fffffffu + 31) / 32));
    if constexpr (std::numeric_limits<size_t>::max() > 0x7fffffffu) {
        EXPECT_EQ(norvak_encoded_size(size_t{0x80000000u}), 0u);
        EXPECT_EQ(norvak_pack_bound(size_t{0x80000000u}), 0u);
    }
}

TEST(CApi, DecodeNeedsRoomForTheContentOnly) {
    // Header 3; the final copy makes 5 bytes, but only the content is written.
    const Bytes stream = StreamBuilder().literal('x').copy(1, 4).stream(3);
    Bytes out(4, '#');
    size_t size = 0;
    ASSERT_EQ(norvak_decode(stream.data(), stream.size(), out.data(), 3, &size), NORVAK_OK);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(out, bytes_of("xxx#"));
}

TEST(CApi, SmallBuffersReportTheSizeNeeded) {
    const Bytes content = bytes_of("a small content, a small content, a small content");
    const Bytes encoded = encode_c(content);
    const Bytes packed = pack_c(content);
    Bytes out(encoded.size() - 1, '#');
    size_t size = 0;

    EXPECT_EQ(norvak_encode(content.data(), content.size(), out.data(), out.size(), &size),
              NORVAK_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, encoded.size());
    EXPECT_EQ(out, Bytes(out.size(), '#'));  // nothing written

    EXPECT_EQ(norvak_pack(content.data(), content.size(), out.data(), packed.size() - 1, &size),
              NORVAK_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, packed.size());

    EXPECT_EQ(norvak_decode(encoded.data(), encoded.size(), out.data(), content.size() - 1, &size),
              NORVAK_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, content.size());

    // A size query: no buffer at all.
    EXPECT_EQ(norvak_decode(encoded.data(), encoded.size(), nullptr, 0, &size), NORVAK_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, content.size());
    EXPECT_EQ(norvak_encode(content.data(), content.size(), nullptr, 0, &size), NORVAK_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, encoded.size());
}

TEST(CApi, DecodeAllocGrowsPastAnyFirstGuess) {
    // 1 MiB from a 12-byte stream: far more than the first buffer guessed from the input.
    const size_t content_size = 1u << 20;
    const Bytes stream = StreamBuilder().literal('q').copy(1, content_size - 1).stream(content_size);
    ASSERT_LT(stream.size() * 16 * 4, content_size);
    EXPECT_EQ(decode_alloc_c(stream), Bytes(content_size, 'q'));
}

TEST(CApi, DecodeAllocOfEmptyContentGivesNoBuffer) {
    const Bytes stream = {0, 0, 0, 0};
    std::uint8_t* out = reinterpret_cast<std::uint8_t*>(&out);
    size_t size = 7;
    EXPECT_EQ(norvak_decode_alloc(stream.data(), stream.size(), &out, &size), NORVAK_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(size, 0u);
    norvak_free(nullptr);
}

TEST(CApi, NullPointersWithBytesAreRejected) {
    const Bytes stream = encode_c(bytes_of("abc"));
    Bytes out(64);
    std::uint8_t* allocated = nullptr;
    size_t size = 0;
    EXPECT_EQ(norvak_decode(nullptr, 8, out.data(), out.size(), &size), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_decode(stream.data(), stream.size(), nullptr, 8, &size), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_decode(stream.data(), stream.size(), out.data(), out.size(), nullptr),
              NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_decode_alloc(stream.data(), stream.size(), nullptr, &size), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_decode_alloc(stream.data(), stream.size(), &allocated, nullptr), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_content_size(nullptr, 4, &size), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_content_size(stream.data(), stream.size(), nullptr), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_encode(nullptr, 3, out.data(), out.size(), &size), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_pack(nullptr, 3, out.data(), out.size(), &size), NORVAK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(norvak_pack(stream.data(), 3, nullptr, 64, &size), NORVAK_ERROR_INVALID_ARGUMENT);

    // Empty input may come as a null pointer.
    EXPECT_EQ(norvak_encode(nullptr, 0, out.data(), out.size(), &size), NORVAK_OK);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(norvak_pack(nullptr, 0, out.data(), out.size(), &size), NORVAK_OK);
    EXPECT_EQ(size, 4u);
}

TEST(CApi, ContentOf2GiBIsRefusedBeforeItIsRead) {
    if constexpr (std::numeric_limits<size_t>::max() <= 0x7fffffffu) GTEST_SKIP() << "size_t too narrow";
    // Only the size is looked at: the byte behind the pointer is never read past.
    const std::uint8_t byte = 0;
    const size_t too_large = size_t{0x80000000u};
    Bytes out(16);
    size_t size = 5;
    EXPECT_EQ(norvak_encode(&byte, too_large, out.data(), out.size(), &size), NORVAK_ERROR_CONTENT_TOO_LARGE);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(norvak_pack(&byte, too_large, out.data(), out.size(), &size), NORVAK_ERROR_CONTENT_TOO_LARGE);
}

TEST(CApi, EveryStatusHasItsOwnText) {
    EXPECT_STREQ(norvak_status_text(NORVAK_OK), "");
    std::set<std::string> texts;
    for (int code = NORVAK_ERROR_MISSING_HEADER; code <= NORVAK_ERROR_CONTENT_TOO_LARGE; ++code) {
        std::string text = norvak_status_text(static_cast<norvak_status>(code));
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), '.') << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), size_t{NORVAK_ERROR_CONTENT_TOO_LARGE});
    EXPECT_STREQ(norvak_status_text(NORVAK_ERROR_MISSING_HEADER), "it is shorter than 4 bytes");
    EXPECT_STREQ(norvak_status_text(static_cast<norvak_status>(1000)), "unknown status");
}

TEST(CApi, DamageTextNamesTheSizeAndFollowsSnprintf) {
    const std::string full = "it ends before all 1000 bytes are decoded";
    EXPECT_EQ(norvak_damage_text(NORVAK_ERROR_TRUNCATED, 1000, nullptr, 0), full.size());

    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(norvak_damage_text(NORVAK_ERROR_TRUNCATED, 1000, buffer, sizeof buffer), full.size());
    EXPECT_EQ(std::string(buffer), full);

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(norvak_damage_text(NORVAK_ERROR_TRUNCATED, 1000, buffer, 8), full.size());
    EXPECT_EQ(std::string(buffer), full.substr(0, 7));
    EXPECT_EQ(buffer[8], '#');

    // Statuses that are not damage give their fixed text.
    EXPECT_EQ(norvak_damage_text(NORVAK_ERROR_BUFFER_TOO_SMALL, 5, buffer, sizeof buffer),
              std::strlen(norvak_status_text(NORVAK_ERROR_BUFFER_TOO_SMALL)));
    EXPECT_STREQ(buffer, norvak_status_text(NORVAK_ERROR_BUFFER_TOO_SMALL));
    EXPECT_EQ(norvak_damage_text(NORVAK_OK, 5, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST(CApi, VersionIsTheProjectVersion) { EXPECT_STREQ(norvak_version(), NORVAK_EXPECTED_VERSION); }

}  // namespace
