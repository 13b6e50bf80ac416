#include "net/response_parser.h"

#include <algorithm>
#include <cstring>

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

bool ResponseParser::equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool ResponseParser::containsIgnoreCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty())
        return true;
    if (haystack.size() < needle.size())
        return false;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (equalsIgnoreCase(haystack.substr(i, needle.size()), needle))
            return true;
    }
    return false;
}

const std::string* ResponseParser::header(std::string_view name) const {
    for (const Header& h : headers_) {
        if (equalsIgnoreCase(h.first, name))
            return &h.second;
    }
    return nullptr;
}

bool ResponseParser::headerHasToken(std::string_view name, std::string_view token) const {
    for (const Header& h : headers_) {
        if (!equalsIgnoreCase(h.first, name))
            continue;
        std::string_view rest = h.second;
        while (true) {
            const std::size_t comma = rest.find(',');
            if (equalsIgnoreCase(trim(rest.substr(0, comma)), token))
                return true;
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
    }
    return false;
}

void ResponseParser::fail(const char* message) {
    state_ = State::Failed;
    error_ = message;
    line_.clear();
}

bool ResponseParser::takeLine(const char*& p, const char* end, std::size_t limit) {
    if (lineComplete_) {
        line_.clear();
        lineComplete_ = false;
    }
    const bool inHead =
        state_ == State::StatusLine || state_ == State::Headers || state_ == State::Trailers;
    const char* newline = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
    const char* stop = newline ? newline : end;
    const std::size_t piece = std::size_t(stop - p);
    if (line_.size() + piece > limit) {
        fail("line too long");
        return false;
    }
    if (inHead) {
        headBytes_ += piece + (newline ? 1 : 0);
        if (headBytes_ > limits_.maxHeadBytes) {
            fail("response head too large");
            return false;
        }
    }
    line_.append(p, piece);
    p = newline ? newline + 1 : end;
    if (!newline)
        return false;
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    lineComplete_ = true;
    return true;
}

bool ResponseParser::parseStatusLine(std::string_view line) {
    if (line.size() < 5 || !equalsIgnoreCase(line.substr(0, 5), "HTTP/")) {
        fail("not an HTTP response");
        return false;
    }
    statusLine_.assign(line);
    status_ = -1;
    // The status is the second field; a line without a number there is still a response,
    // one that the caller treats as a failure.
    std::size_t start = line.find(' ');
    if (start == std::string_view::npos)
        return true;
    while (start < line.size() && line[start] == ' ')
        ++start;
    std::size_t stop = line.find(' ', start);
    std::string_view field =
        line.substr(start, stop == std::string_view::npos ? line.npos : stop - start);
    if (field.empty() || field.size() > 3)
        return true;
    int value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return true;
        value = value * 10 + (c - '0');
    }
    status_ = value;
    return true;
}

bool ResponseParser::parseHeaderLine(std::string_view line) {
    if (headers_.size() >= limits_.maxHeaderLines) {
        fail("too many header lines");
        return false;
    }
    if (isBlank(line.front())) {
        // An obsolete folded continuation of the previous header.
        if (!headers_.empty()) {
            headers_.back().second += ' ';
            headers_.back().second += trim(line);
        }
        return true;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return true;  // not a header; ignored
    headers_.emplace_back(std::string(trim(line.substr(0, colon))),
                          std::string(trim(line.substr(colon + 1))));
    return true;
}

bool ResponseParser::decideFraming() {
    for (const Header& h : headers_) {
        if (equalsIgnoreCase(h.first, "Transfer-Encoding") &&
            containsIgnoreCase(h.second, "chunked")) {
            framing_ = Framing::Chunked;
            state_ = State::ChunkSize;
            return true;
        }
    }
    bool haveLength = false;
    std::uint64_t length = 0;
    for (const Header& h : headers_) {
        if (!equalsIgnoreCase(h.first, "Content-Length"))
            continue;
        const std::string_view v = trim(h.second);
        if (v.empty() || v.size() > 18) {
            fail("bad Content-Length");
            return false;
        }
        std::uint64_t n = 0;
        for (char c : v) {
            if (c < '0' || c > '9') {
                fail("bad Content-Length");
                return false;
            }
            n = n * 10 + std::uint64_t(c - '0');
        }
        if (haveLength && n != length) {
            fail("conflicting Content-Length");
            return false;
        }
        haveLength = true;
        length = n;
    }
    if (haveLength) {
        framing_ = Framing::ContentLength;
        contentLength_ = remaining_ = length;
        state_ = length == 0 ? State::Done : State::FixedBody;
        return true;
    }
    framing_ = Framing::UntilClose;
    state_ = State::UntilClose;
    return true;
}

bool ResponseParser::parseChunkSize(std::string_view line) {
    const std::size_t semicolon = line.find(';');
    std::string_view digits = trim(line.substr(0, semicolon));
    if (digits.empty() || digits.size() > 15) {
        fail("bad chunk size");
        return false;
    }
    std::uint64_t size = 0;
    for (char c : digits) {
        const int v = hexValue(c);
        if (v < 0) {
            fail("bad chunk size");
            return false;
        }
        size = size * 16 + std::uint64_t(v);
    }
    if (size == 0) {
        state_ = State::Trailers;
        trailerLines_ = 0;
    } else {
        remaining_ = size;
        state_ = State::ChunkData;
    }
    return true;
}

std::size_t ResponseParser::feed(const char* data, std::size_t size, BodySink* sink) {
    const char* p = data;
    const char* const end = data + size;
    auto deliver = [&](State next) {
        const std::size_t n =
            std::size_t(std::min<std::uint64_t>(remaining_, std::uint64_t(end - p)));
        if (sink && n)
            sink->onBody(p, n);
        p += n;
        remaining_ -= n;
        bodyBytes_ += n;
        if (remaining_ == 0)
            state_ = next;
    };
    while (p < end) {
        switch (state_) {
            case State::StatusLine:
                anyByte_ = true;
                if (!takeLine(p, end, limits_.maxLine))
                    break;
                // Stray empty lines before a status line are tolerated.
                if (line_.empty())
                    break;
                if (parseStatusLine(line_))
                    state_ = State::Headers;
                break;
            case State::Headers:
                if (!takeLine(p, end, limits_.maxLine))
                    break;
                if (line_.empty())
                    state_ = State::HeadComplete;
                else
                    parseHeaderLine(line_);
                break;
            case State::FixedBody:
                deliver(State::Done);
                break;
            case State::ChunkSize:
                if (takeLine(p, end, limits_.maxChunkSizeLine))
                    parseChunkSize(line_);
                break;
            case State::ChunkData:
                deliver(State::ChunkDataEnd);
                break;
            case State::ChunkDataEnd:
                if (!takeLine(p, end, limits_.maxChunkSizeLine))
                    break;
                if (line_.empty())
                    state_ = State::ChunkSize;
                else
                    fail("chunk data longer than announced");
                break;
            case State::Trailers:
                if (!takeLine(p, end, limits_.maxLine))
                    break;
                if (line_.empty())
                    state_ = State::Done;
                else if (++trailerLines_ > limits_.maxHeaderLines)
                    fail("too many trailer lines");
                break;
            case State::UntilClose: {
                const std::size_t n = std::size_t(end - p);
                if (sink)
                    sink->onBody(p, n);
                bodyBytes_ += n;
                p = end;
                break;
            }
            case State::HeadComplete:
            case State::Done:
            case State::Failed:
                return std::size_t(p - data);
        }
    }
    return std::size_t(p - data);
}

void ResponseParser::finish() {
    switch (state_) {
        case State::StatusLine:
            fail(anyByte_ ? "connection closed inside the response head"
                          : "connection closed before any response");
            break;
        case State::Headers:
        case State::HeadComplete:
            fail("connection closed inside the response head");
            break;
        case State::FixedBody:
            truncated_ = true;
            state_ = State::Done;
            break;
        case State::ChunkSize:
        case State::ChunkData:
        case State::ChunkDataEnd:
            fail("connection closed before the last chunk");
            break;
        case State::Trailers:
        case State::UntilClose:
            state_ = State::Done;
            break;
        case State::Done:
        case State::Failed:
            break;
    }
}

void ResponseParser::restartAfterInterim() {
    if (state_ != State::HeadComplete)
        return;
    if (++interims_ > limits_.maxInterimResponses) {
        fail("too many interim responses");
        return;
    }
    status_ = -1;
    statusLine_.clear();
    headers_.clear();
    line_.clear();
    lineComplete_ = false;
    headBytes_ = 0;
    state_ = State::StatusLine;
}

void ResponseParser::startBody(bool bodyAllowed) {
    if (state_ != State::HeadComplete)
        return;
    if (!bodyAllowed) {
        framing_ = Framing::None;
        state_ = State::Done;
        return;
    }
    decideFraming();
}
