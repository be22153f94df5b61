#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

#include "codec/packed_stream.h"
#include "commands/file_commands.h"
#include "commands/packing_command.h"
#include "platform/threads.h"

namespace norvak {
namespace {

// Eight literal tokens are exactly nine bytes, so input byte offset 8k becomes stream
// offset 4 + 9k, and a chunk of a multiple of 32 bytes fills whole words: each chunk packs
// on its own into its own place in the output. That lets the chunks go through the system
// on several threads at once: one reads or packs while another writes.
//
// 256 KiB a call keeps the system-call cost small while a chunk and its packed form still
// sit in the cache.
constexpr std::size_t kChunkBytes = 256 * 1024;
static_assert(kChunkBytes % 32 == 0, "a chunk must end on a word of the stream");

// More threads than this only queue for the output file's lock, and every one holds
// its own buffers.
constexpr unsigned kMaxThreads = 4;

constexpr std::uint64_t kNoChunk = std::numeric_limits<std::uint64_t>::max();

std::uint64_t stream_offset(std::uint64_t content_offset) { return kSizeHeaderBytes + content_offset / 8 * 9; }

// One thread's buffers, and the first chunk it could not encode. The buffers are left
// unfilled and no larger than the input needs: a small file touches little memory.
struct ChunkWorker {
    explicit ChunkWorker(std::size_t chunk_bytes) {
        plain.resize(chunk_bytes);
        packed.resize(kSizeHeaderBytes + max_packed_literal_bytes(chunk_bytes));
    }
    platform::ByteBuffer plain;
    platform::ByteBuffer packed;
    std::uint64_t failed_chunk = kNoChunk;
    PackingOutcome failure = PackingOutcome::ok;
};

struct EncodeJob {
    platform::File& input;
    platform::File& output;
    std::uint32_t size;
    std::uint64_t chunk_count;
    // Pipes and devices are read and written in order, on one thread.
    bool positioned;
    std::atomic<std::uint64_t> next_chunk{0};
    std::atomic<bool> stop{false};
};

// Fills `buffer` with the `length` bytes from `offset` on. An end of the file before then
// means the file shrank: never invent bytes.
bool read_chunk(EncodeJob& job, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
    for (std::size_t filled = 0; filled < length;) {
        const std::int64_t got = job.positioned
                                     ? platform::read_at(job.input, offset + filled, buffer + filled, length - filled)
                                     : platform::read_some(job.input, buffer + filled, length - filled);
        if (got <= 0) return false;
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

PackingOutcome encode_chunk(EncodeJob& job, std::uint64_t chunk, ChunkWorker& worker) {
    const std::uint64_t offset = chunk * kChunkBytes;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, job.size - offset));
    if (!read_chunk(job, offset, worker.plain.data(), length)) return PackingOutcome::read_failed;

    // The first chunk carries the size header before its tokens.
    std::uint8_t* const packed = worker.packed.data();
    std::size_t packed_bytes = 0;
    if (chunk == 0) {
        write_size_header(job.size, packed);
        packed_bytes = kSizeHeaderBytes;
    }
    LiteralPacker packer;
    packed_bytes += pack_literals(packer, {worker.plain.data(), length}, packed + packed_bytes);
    if (chunk + 1 == job.chunk_count) packed_bytes += finish_literals(packer, packed + packed_bytes);

    const bool written = job.positioned
                             ? platform::write_all_at(job.output, chunk == 0 ? 0 : stream_offset(offset), packed, packed_bytes)
                             : platform::write_all(job.output, packed, packed_bytes);
    return written ? PackingOutcome::ok : PackingOutcome::write_failed;
}

// Takes chunks until none are left or one has failed anywhere.
void encode_chunks(EncodeJob& job, ChunkWorker& worker) {
    while (!job.stop.load(std::memory_order_relaxed)) {
        const std::uint64_t chunk = job.next_chunk.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= job.chunk_count) return;
        const PackingOutcome outcome = encode_chunk(job, chunk, worker);
        if (outcome != PackingOutcome::ok) {
            worker.failed_chunk = chunk;
            worker.failure = outcome;
            job.stop.store(true, std::memory_order_relaxed);
            return;
        }
    }
}

// Streams the literal-only form of `input`: the size header, then every byte as a literal
// token, chunk by chunk.
PackingOutcome write_literals(platform::File& input, std::uint32_t size, platform::File& output) {
    // An empty input is still one chunk: the one with the header.
    const std::uint64_t chunk_count = std::max<std::uint64_t>(1, (std::uint64_t{size} + kChunkBytes - 1) / kChunkBytes);
    const bool positioned = platform::allows_positioned_io(input) && platform::allows_positioned_io(output);
    const auto threads = static_cast<unsigned>(
        positioned ? std::min<std::uint64_t>({platform::processor_count(), kMaxThreads, chunk_count}) : 1);

    EncodeJob job{input, output, size, chunk_count, positioned};
    // Allocated here, where running out of memory is reported.
    std::vector<ChunkWorker> workers;
    workers.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) workers.emplace_back(std::min<std::size_t>(kChunkBytes, size));
    std::atomic<unsigned> next_worker{0};
    auto run = [&] { encode_chunks(job, workers[next_worker.fetch_add(1)]); };
    platform::run_side_by_side(threads, run);

    // Every chunk before the first that failed was taken, and succeeded, so that failure is
    // the one a single thread working in order would have met.
    const ChunkWorker* first = nullptr;
    for (const ChunkWorker& worker : workers)
        if (worker.failed_chunk != kNoChunk && (first == nullptr || worker.failed_chunk < first->failed_chunk)) first = &worker;
    return first != nullptr ? first->failure : PackingOutcome::ok;
}

}  // namespace

bool encode_file(const std::string& input_path, const std::string& output_path) {
    return run_packing_command(input_path, output_path, write_literals, "file has encoded to ");
}

}  // namespace norvak
