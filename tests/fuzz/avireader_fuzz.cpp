// Fuzz harness of the capture file reader: any bytes read as an AVI file. A file it takes must
// have a main header and a movi list, every chunk it lists inside the bytes and inside the movi
// list, every stream format, index and segment inside the bytes; a read of the same bytes cut by one at the end must
// never list a chunk past the shorter end.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "avireader.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Examine(const capture::AviReader& reader, size_t size)
{
    for (const capture::AviChunk& chunk : reader.MoviChunks()) {
        Check(chunk.offset >= reader.MoviTypeOffset() + 4 + 8);
        Check(chunk.offset + chunk.size <= size);
    }
    for (const capture::AviStream& stream : reader.Streams()) {
        Check(stream.format.size() <= size);
        Check(stream.superIndex.size() * 16 <= size);
    }
    for (const capture::AviStandardIndex& index : reader.StandardIndexes())
        Check(index.offset + 8 + 24 + index.entries.size() * 8 <= size);
    Check(reader.Segments() >= 1 && reader.Segments() == reader.SegmentSpans().size());
    for (const auto& [offset, bytes] : reader.SegmentSpans())
        Check(offset + bytes <= size);
    Check(reader.Index().size() * 16 <= size);
    for (uint32_t n = 0; n < 3; ++n)
        Check(reader.StreamChunks(n).size() <= reader.MoviChunks().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    capture::AviReader reader;
    if (reader.Read(bytes))
        Examine(reader, size);
    else
        Check(!reader.Error().empty());
    if (size > 0) {
        capture::AviReader shorter;
        if (shorter.Read(std::vector<uint8_t>(data, data + size - 1)))
            Examine(shorter, size - 1);
    }
    return 0;
}
