// Packs a text, decodes it again, and shows that damage is reported, through the C++ API.
#include <cstdio>
#include <string_view>
#include <vector>

#include <norvak/norvak.hpp>

int main() {
    std::string_view text = "beer=120 cloth=45 beer=120 cloth=45 beer=120 cloth=45";
    std::vector<std::uint8_t> content(text.begin(), text.end());

    norvak::Result packed = norvak::pack(content);
    norvak::Result plain = norvak::decode(packed.bytes());
    if (!packed || !plain || plain.bytes() != content) {
        std::fprintf(stderr, "round trip failed: %s\n", plain.reason().c_str());
        return 1;
    }
    std::vector<std::uint8_t> damaged(packed.bytes().begin(), packed.bytes().end() - 4);
    norvak::Result broken = norvak::decode(damaged);
    if (broken || broken.status() != norvak::Status::truncated) {
        std::fprintf(stderr, "a truncated stream was not reported\n");
        return 1;
    }
    std::printf("C++: %zu bytes packed to %zu; damaged: %s\n", content.size(), packed.bytes().size(),
                broken.reason().c_str());
    return 0;
}
