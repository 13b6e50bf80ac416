// Drives the response reader the way the client does, once with the whole input and once cut
// into small pieces; both runs must agree, and the body can never outgrow its framing.
#include "net/response_parser.h"

#include <cstdint>
#include <string>

namespace {

struct Outcome : ResponseParser::BodySink {
    std::string body;
    ResponseParser::State state{};
    int status = 0;
    std::size_t headers = 0;
    bool truncated = false;
    std::size_t consumed = 0;

    void onBody(const char* data, std::size_t size) override { body.append(data, size); }
};

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

Outcome run(const std::uint8_t* data, std::size_t size, std::uint8_t pattern) {
    ResponseParser::Limits limits;
    // Small limits let the fuzzer reach every limit with short inputs.
    limits.maxLine = 200;
    limits.maxHeaderLines = 8;
    limits.maxHeadBytes = 1000;
    limits.maxChunkSizeLine = 40;
    limits.maxInterimResponses = 3;
    ResponseParser parser(limits);
    Outcome out;
    std::size_t pos = 0;
    std::size_t step = 0;
    while (true) {
        if (parser.state() == ResponseParser::State::HeadComplete) {
            const int status = parser.status();
            if (status == 100)
                parser.restartAfterInterim();
            else
                parser.startBody(status >= 200 && status != 204 && status != 304);
            continue;
        }
        if (parser.done() || parser.failed())
            break;
        if (pos == size) {
            parser.finish();
            continue;
        }
        std::size_t piece = size - pos;
        if (pattern != 0)
            piece = std::min<std::size_t>(piece, 1 + ((pattern >> (step++ % 8)) & 7));
        const std::size_t used =
            parser.feed(reinterpret_cast<const char*>(data) + pos, piece, &out);
        check(used <= piece);
        pos += used;
    }
    out.state = parser.state();
    out.status = parser.status();
    out.headers = parser.headers().size();
    out.truncated = parser.truncated();
    out.consumed = pos;
    check(out.body.size() <= size);
    check(out.body.size() == parser.bodyBytes());
    check(out.headers <= limits.maxHeaderLines);
    if (parser.framing() == ResponseParser::Framing::ContentLength) {
        check(out.body.size() <= parser.contentLength());
        if (parser.done() && !parser.truncated())
            check(out.body.size() == parser.contentLength());
    }
    if (parser.truncated())
        check(parser.framing() == ResponseParser::Framing::ContentLength && parser.done());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t pattern = data[0] | 1;
    const Outcome whole = run(data + 1, size - 1, 0);
    const Outcome pieces = run(data + 1, size - 1, pattern);
    check(whole.state == pieces.state);
    check(whole.status == pieces.status);
    check(whole.headers == pieces.headers);
    check(whole.body == pieces.body);
    check(whole.truncated == pieces.truncated);
    if (whole.state == ResponseParser::State::Done)
        check(whole.consumed == pieces.consumed);
    return 0;
}
