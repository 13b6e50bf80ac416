#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Incremental reader of one HTTP/1.x response (status line, header lines, body framing).
// It holds no socket and no file: the caller feeds it bytes as they arrive and receives the
// body data through a sink, so the same code serves the client and the fuzzer.
//
// Flow: feed() until state() is HeadComplete; look at the status and headers; then either
// restartAfterInterim() (a 1xx interim response) or startBody(); feed() until Done or Failed;
// call finish() when the peer closes the connection.
class ResponseParser {
  public:
    enum class State {
        StatusLine,
        Headers,
        HeadComplete,
        FixedBody,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailers,
        UntilClose,
        Done,
        Failed,
    };
    enum class Framing { None, ContentLength, Chunked, UntilClose };

    struct Limits {
        std::size_t maxLine = 64 * 1024;
        std::size_t maxHeaderLines = 256;
        std::size_t maxHeadBytes = 1024 * 1024;
        std::size_t maxChunkSizeLine = 1024;
        int maxInterimResponses = 16;
    };

    class BodySink {
      public:
        virtual void onBody(const char* data, std::size_t size) = 0;

      protected:
        ~BodySink() = default;
    };

    using Header = std::pair<std::string, std::string>;

    ResponseParser() = default;
    explicit ResponseParser(const Limits& limits) : limits_(limits) {}

    // Consumes bytes up to the end of the data, the end of the head (state HeadComplete), the
    // end of the response (Done) or an error (Failed). Returns how many bytes were consumed.
    std::size_t feed(const char* data, std::size_t size, BodySink* sink);
    // The peer closed the connection.
    void finish();

    // After HeadComplete: the next response head follows (status 1xx).
    void restartAfterInterim();
    // After HeadComplete: reads the body by the framing of the head, or none when the status
    // does not allow one (1xx, 204, 304 are the caller's decision).
    void startBody(bool bodyAllowed);

    State state() const { return state_; }
    bool done() const { return state_ == State::Done; }
    bool failed() const { return state_ == State::Failed; }
    const std::string& error() const { return error_; }

    // -1 when the status line holds no number.
    int status() const { return status_; }
    const std::string& statusLine() const { return statusLine_; }
    const std::vector<Header>& headers() const { return headers_; }
    // Value of the first header of that name (letter case ignored), or nullptr.
    const std::string* header(std::string_view name) const;
    // Whether a comma-separated header value (any such header) lists token, letter case ignored.
    bool headerHasToken(std::string_view name, std::string_view token) const;

    Framing framing() const { return framing_; }
    std::uint64_t contentLength() const { return contentLength_; }
    std::uint64_t bodyBytes() const { return bodyBytes_; }
    // The peer closed before the announced Content-Length arrived.
    bool truncated() const { return truncated_; }
    // No byte of any response has arrived yet.
    bool nothingReceived() const { return !anyByte_; }

    static bool equalsIgnoreCase(std::string_view a, std::string_view b);
    static bool containsIgnoreCase(std::string_view haystack, std::string_view needle);

  private:
    // Appends the line under construction; true when a whole line (without its end) is ready.
    bool takeLine(const char*& p, const char* end, std::size_t limit);
    bool parseStatusLine(std::string_view line);
    bool parseHeaderLine(std::string_view line);
    bool decideFraming();
    bool parseChunkSize(std::string_view line);
    void fail(const char* message);

    Limits limits_;
    State state_ = State::StatusLine;
    std::string error_;
    std::string line_;
    bool lineComplete_ = false;
    std::size_t headBytes_ = 0;
    std::size_t trailerLines_ = 0;
    int interims_ = 0;
    bool anyByte_ = false;

    int status_ = -1;
    std::string statusLine_;
    std::vector<Header> headers_;
    Framing framing_ = Framing::None;
    std::uint64_t contentLength_ = 0;
    std::uint64_t remaining_ = 0;
    std::uint64_t bodyBytes_ = 0;
    bool truncated_ = false;
};
