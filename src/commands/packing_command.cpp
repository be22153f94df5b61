#include "commands/packing_command.h"

#include <new>

#include "codec/packed_stream.h"
#include "platform/console.h"

namespace norvak {
namespace {

void say(std::string_view text) { platform::print_line(platform::ConsoleStream::out, text); }

std::string_view failure_text(PackingOutcome outcome) {
    return outcome == PackingOutcome::read_failed ? "can not read input file." : "can not write output file.";
}

}  // namespace

bool run_packing_command(const std::string& input_path, const std::string& output_path,
                         PackedStreamWriter write_stream, std::string_view done_text) {
    platform::File input = platform::open_input(input_path);
    if (!input.is_open()) {
        say("can not open input file.");
        return false;
    }
    std::optional<std::uint64_t> size = platform::file_size(input);
    if (!size) {
        say("can not read input file.");
        return false;
    }
    // From 2^31 bytes on the header would read as stored mode: refuse before the output
    // is touched.
    if (*size > kMaxPackedContentBytes) {
        say("can not encode a file of 2 GiB or more.");
        return false;
    }
    // Opened only now, so a missing or unusable input never costs an existing output.
    platform::File output = platform::open_output(output_path, input);
    if (!output.is_open()) {
        say("can not open output file.");
        return false;
    }

    PackingOutcome outcome = PackingOutcome::ok;
    bool out_of_memory = false;
    try {
        outcome = write_stream(input, static_cast<std::uint32_t>(*size), output);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    }
    platform::close_file(input);
    bool output_closed = platform::close_file(output);
    if (outcome == PackingOutcome::ok && !output_closed) outcome = PackingOutcome::write_failed;

    if (out_of_memory || outcome != PackingOutcome::ok) {
        platform::remove_partial_output(output_path);
        say(out_of_memory ? "not enough memory to pack input file." : failure_text(outcome));
        return false;
    }
    say(std::string(done_text) + output_path);
    return true;
}

}  // namespace norvak
