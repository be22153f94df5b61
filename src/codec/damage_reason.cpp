#include <string>

#include "codec/packed_stream.h"

namespace norvak {

std::string describe_damage(const ExpandResult& result) {
    switch (result.status) {
    case ExpandStatus::ok:
        return {};
    case ExpandStatus::missing_header:
        return "it is shorter than 4 bytes";
    case ExpandStatus::copy_before_start:
        return "a copy reaches before the start of the content";
    case ExpandStatus::truncated:
        return "it ends before all " + std::to_string(result.content_size) + " bytes are decoded";
    case ExpandStatus::length_code_too_long:
        return "a copy length runs past the longest length code";
    case ExpandStatus::stored_truncated:
        return "it holds fewer than the " + std::to_string(result.content_size) + " stored bytes its header gives";
    case ExpandStatus::output_too_small:
        return "the content does not fit in the output buffer";
    }
    return {};
}

}  // namespace norvak
