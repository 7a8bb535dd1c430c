// The line service's frame reader and message decoders on whatever a peer sends, fed in pieces
// of the sizes the input asks for: frames against the harness's own split of the stream, the
// reader's hold against its bound, and each decoded message encoded again to the same bytes.
#include "FuzzSupport.h"

#include "network/ZarndFrameReader.h"
#include "network/ZarndMessage.h"

#include <vector>

namespace {

constexpr std::size_t kMax = 300;

// The frames a stream holds before its end or its first frame over the bound.
void SplitOwn(const std::uint8_t* data, std::size_t size,
              std::vector<std::vector<std::uint8_t>>& frames, bool& broken) {
    std::size_t pos = 0;
    broken = false;
    while (size - pos >= 4) {
        const std::size_t length = data[pos] | std::size_t{data[pos + 1]} << 8 |
                                   std::size_t{data[pos + 2]} << 16 |
                                   std::size_t{data[pos + 3]} << 24;
        if (length > kMax) {
            broken = true;
            return;
        }
        if (size - pos - 4 < length) {
            return;
        }
        frames.emplace_back(data + pos + 4, data + pos + 4 + length);
        pos += 4 + length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte sets the piece size, the rest is the stream.
    const std::size_t piece = data[0] % 64 + 1;
    const std::uint8_t* stream = data + 1;
    const std::size_t nStream = size - 1;

    std::vector<std::vector<std::uint8_t>> own;
    bool ownBroken = false;
    SplitOwn(stream, nStream, own, ownBroken);

    CZarndFrameReader reader(kMax);
    std::vector<std::vector<std::uint8_t>> got;
    std::vector<std::uint8_t> payload;
    for (std::size_t pos = 0; pos < nStream; pos += piece) {
        reader.Feed(stream + pos, std::min(piece, nStream - pos));
        while (reader.Next(payload)) {
            got.push_back(payload);
        }
        FUZZ_CHECK(reader.GetPending() <= kMax + 4 + piece);
    }
    FUZZ_CHECK(reader.IsBroken() == ownBroken);
    FUZZ_CHECK(got == own);

    for (const auto& frame : got) {
        std::uint32_t id = 0;
        CZarnCall call;
        if (ZarndMessage::DecodeRequest(frame, id, call)) {
            FUZZ_CHECK(ZarndMessage::EncodeRequest(id, call) == frame);
        }
        if (ZarndMessage::DecodeStarted(frame, id)) {
            FUZZ_CHECK(ZarndMessage::EncodeStarted(id) == frame);
        }
        if (ZarndMessage::DecodeReportRequest(frame, id)) {
            FUZZ_CHECK(ZarndMessage::EncodeReportRequest(id) == frame);
        }
        CZarndReport report;
        if (ZarndMessage::DecodeReport(frame, id, report)) {
            FUZZ_CHECK(report.m_strHistory.size() <= CZarndReport::kMaxHistory);
            FUZZ_CHECK(ZarndMessage::EncodeReport(id, report) == frame);
        }
        CZarnOutcome outcome;
        if (ZarndMessage::DecodeOutcome(frame, id, outcome)) {
            FUZZ_CHECK(outcome.m_values.size() <= CZarnOutcome::kMaxValues);
            FUZZ_CHECK(outcome.m_strDetail.size() <= CZarnOutcome::kMaxDetail);
            // An absent carried request travels as zeros; only then is the encoding the same.
            if (outcome.m_carried ||
                (frame[8] == 0 && frame[9] == 0 && frame[10] == 0 && frame[11] == 0)) {
                FUZZ_CHECK(ZarndMessage::EncodeOutcome(id, outcome) == frame);
            }
        }
    }
    return 0;
}
