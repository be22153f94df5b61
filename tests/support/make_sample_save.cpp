// Writes the example save: make_sample_save <output path>.
#include <cstdio>
#include <fstream>

#include "support/sample_save.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_save OUTPUT\n");
        return 2;
    }
    norvak::test::SampleSave save = norvak::test::make_sample_save();
    // An example that shows only one or two kinds of copy would teach little.
    if (save.distance_classes.size() < 5) {
        std::fprintf(stderr, "make_sample_save: only %zu distance classes used\n", save.distance_classes.size());
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(save.stream.data()), static_cast<std::streamsize>(save.stream.size()));
    if (!out) return 1;
    std::printf("%zu content bytes in %zu packed bytes; distance classes:", norvak::test::sample_content().size(),
                save.stream.size());
    for (unsigned cls : save.distance_classes) std::printf(" %u", cls);
    std::printf("\n");
    return 0;
}
