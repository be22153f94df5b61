// One damaged stream for each way a stream can be damaged, for the C and C++ API tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "norvak/norvak.h"
#include "support/stream_builder.h"

namespace norvak::test {

struct DamagedStream {
    std::string name;
    std::vector<std::uint8_t> stream;
    norvak_status status;
};

inline std::vector<DamagedStream> damaged_streams() {
    StreamBuilder endless_length;
    endless_length.literal('a').bits(1, 1).bits(0, 3).bits(0, 1);  // copy, distance 1
    for (unsigned width = 2; width <= 31; ++width) endless_length.bits((std::uint64_t{1} << width) - 1, width);
    endless_length.bits(0, 32);

    return {
        {"no_bytes", {}, NORVAK_ERROR_MISSING_HEADER},
        {"three_bytes", {0x05, 0x00, 0x00}, NORVAK_ERROR_MISSING_HEADER},
        {"copy_as_first_token", StreamBuilder().copy(1, 4).stream(4), NORVAK_ERROR_COPY_BEFORE_START},
        {"copy_past_the_first_byte", StreamBuilder().literal('a').copy(2, 2).stream(3),
         NORVAK_ERROR_COPY_BEFORE_START},
        {"body_ends_early", StreamBuilder().literals({'a', 'b'}).stream(1000), NORVAK_ERROR_TRUNCATED},
        {"header_only", {0x10, 0x00, 0x00, 0x00}, NORVAK_ERROR_TRUNCATED},
        {"length_code_never_ends", endless_length.stream(100), NORVAK_ERROR_LENGTH_CODE_TOO_LONG},
        {"stored_bytes_missing", {0xfb, 0xff, 0xff, 0xff, 'a', 'b', 'c'}, NORVAK_ERROR_STORED_TRUNCATED},
    };
}

inline std::vector<std::uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace norvak::test
