// Packed streams for the tests, written by the test's own bit writer, never by the program.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_harness.h"
#include "support/stream_builder.h"

namespace norvak::cli_test {

// The builder's tokens after a header of `n`, as file bytes.
inline std::string stream_of(const test::StreamBuilder& builder, std::int32_t n) { return to_string(builder.stream(n)); }

// Every byte of `plain` as a literal token: what Encode must write.
inline std::string literal_stream(const std::string& plain) {
    test::StreamBuilder builder;
    for (char byte : plain) builder.literal(static_cast<std::uint8_t>(byte));
    return stream_of(builder, static_cast<std::int32_t>(plain.size()));
}

}  // namespace norvak::cli_test
