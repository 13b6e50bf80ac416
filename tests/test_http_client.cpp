#include "base/errors.h"
#include "net/http_client.h"
#include "net/http_request.h"
#include "net/scratch_file.h"
#include "support/scripted_server.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstring>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using After = ScriptedServer::After;

namespace {

const std::string kUserAgent =
    "User-Agent: Mozilla/5.0 (Windows NT 5.1; rv:14.0) Gecko/20100101 Firefox/14.0.1\r\n";

std::string fixedHeaders(const std::string& target, const std::string& host) {
    return "GET " + target +
           " HTTP/1.1\r\n"
           "Content-Type: text/html\r\n"
           "Host: " +
           host +
           "\r\n"
           "Accept: text/html, */*\r\n"
           "Accept-Encoding: identity\r\n" +
           kUserAgent;
}

struct Fetched {
    bool ok = false;
    bool aborted = false;
    QString error;
    QByteArray file;
};

class HttpClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        client.setTimeouts(5s, 5s);
    }

    // One fetch the way the window does it, into a scratch file that held older content.
    Fetched fetch(const QString& url, const QString& name = QStringLiteral("youtube.0"),
                  qint64 bodyLimit = kPageBodyLimit) {
        const QString folder = dir.path() + QLatin1Char('/');
        {
            QFile stale(folder + name);
            stale.open(QIODevice::WriteOnly);
            stale.write(QByteArray(4096, 'S'));
        }
        Fetched result;
        ScratchFile file(folder, name);
        file.keepCopy();
        try {
            client.Get(url, file, bodyLimit);
            result.ok = true;
        } catch (const FetchAborted& e) {
            result.aborted = true;
            result.error = e.message();
        } catch (const FetchError& e) {
            result.error = e.message();
        }
        file.close();
        result.file = ScratchFile::readAll(file.path());
        // Whatever the outcome, the kept copy is the file.
        EXPECT_TRUE(file.copy() == result.file) << "copy of " << file.copy().size() << " bytes";
        return result;
    }

    QTemporaryDir dir;
    ScriptedServer server;
    HttpClient client;
};

struct ResponseCase {
    const char* name;
    std::string response;
    After after;
    bool ok;
    std::string file;
};

std::string randomBytes(std::size_t size) {
    std::mt19937 gen(7);
    std::string s(size, '\0');
    for (char& c : s)
        c = char(gen());
    return s;
}

const std::string kGzip(
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xcb\x48\xcd\xc9\xc9\x57\xc8\x40\x90\x00\x80\x88"
    "\xf9\xe5\x11\x00\x00\x00",
    28);
const std::string kLarge = randomBytes(3 * 1024 * 1024 + 17);

const ResponseCase kResponses[] = {
    {"MovedPermanently",
     "HTTP/1.1 301 Moved\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved",
     After::KeepOpen, false, ""},
    {"Found", "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\nContent-Length: 0\r\n\r\n",
     After::KeepOpen, false, ""},
    {"OkWithLocation", "HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 4\r\n\r\nbody",
     After::KeepOpen, false, ""},
    {"CreatedWithLocation", "HTTP/1.1 201 Created\r\nLocation: /x\r\nContent-Length: 4\r\n\r\nmade",
     After::KeepOpen, true, "made"},
    {"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", After::KeepOpen, true, ""},
    {"NotModified", "HTTP/1.1 304 Not Modified\r\n\r\n", After::KeepOpen, false, ""},
    {"NotFoundPageNotStored",
     "HTTP/1.1 404 Not Found\r\nContent-Length: 22\r\n\r\n<html>error page</html", After::KeepOpen,
     false, ""},
    {"AuthenticationChallenge",
     "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: "
     "2\r\n\r\nno",
     After::KeepOpen, false, ""},
    {"ServerErrorUntilClose", "HTTP/1.1 500 Oops\r\n\r\nerror page", After::Close, false, ""},
    {"ChunkedDataOnly",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;name=x\r\nhello\r\n6\r\n "
     "world\r\n0\r\nX-Trailer: 1\r\n\r\n",
     After::KeepOpen, true, "hello world"},
    {"ContentLengthCutOffEarly",
     "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(600, 'x'), After::Close, true,
     std::string(600, 'x')},
    {"UntilClose", "HTTP/1.1 200 OK\r\n\r\nuntil the end", After::Close, true, "until the end"},
    {"ZeroLength", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", After::KeepOpen, true, ""},
    {"GzipStoredRaw",
     "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 28\r\n\r\n" + kGzip,
     After::KeepOpen, true, kGzip},
    {"ContinueThenOk",
     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi", After::KeepOpen,
     true, "hi"},
    {"OtherInterimStatusFails", "HTTP/1.1 103 Early Hints\r\n\r\n", After::KeepOpen, false, ""},
    {"StatusLineWithoutNumber", "HTTP/1.1 OK\r\nContent-Length: 2\r\n\r\nhi", After::KeepOpen,
     false, ""},
    {"NotHttp", "<html>hello</html>\r\n\r\n", After::Close, false, ""},
    {"BareLineFeeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nhi", After::KeepOpen, true, "hi"},
    {"BadChunkSize",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n",
     After::KeepOpen, false, ""},
    {"ChunkSizeOverflow",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffffff\r\nhello",
     After::KeepOpen, false, ""},
    {"EndlessChunkSizeLine",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(100000, '0'),
     After::KeepOpen, false, ""},
    {"ClosedBeforeLastChunkKeepsWhatArrived",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", After::Close, false,
     "hello"},
    {"HeaderLineTooLong", "HTTP/1.1 200 OK\r\nX-Big: " + std::string(70000, 'a') + "\r\n\r\n",
     After::KeepOpen, false, ""},
    {"TooManyHeaderLines",
     [] {
         std::string s = "HTTP/1.1 200 OK\r\n";
         for (int i = 0; i < 300; ++i)
             s += "X-" + std::to_string(i) + ": 1\r\n";
         return s + "Content-Length: 0\r\n\r\n";
     }(),
     After::KeepOpen, false, ""},
    {"ConflictingContentLengths",
     "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc", After::KeepOpen, false,
     ""},
    {"LargeBody",
     "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kLarge.size()) + "\r\n\r\n" + kLarge,
     After::KeepOpen, true, kLarge},
};

class ResponseTest : public HttpClientTest, public ::testing::WithParamInterface<ResponseCase> {};

TEST_P(ResponseTest, OutcomeAndFile) {
    const ResponseCase& c = GetParam();
    server.push({c.response, c.after});
    const Fetched result = fetch(server.url("/watch?v=abc"));
    EXPECT_EQ(result.ok, c.ok) << result.error.toStdString();
    EXPECT_TRUE(result.file.toStdString() == c.file)
        << "file holds " << result.file.size() << " bytes, expected " << c.file.size();
    // A refused redirect is never followed.
    EXPECT_EQ(server.requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Responses, ResponseTest, ::testing::ValuesIn(kResponses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HttpClientTest, SendsTheExactRequestAndNeverRawControlCharacters) {
    server.push(ScriptedServer::ok("1"));
    server.push(ScriptedServer::ok("2"));
    ASSERT_TRUE(fetch(server.url("/watch?v=abc&feature=related")).ok);
    // A pasted address with a line break must not add a header line of its own.
    ASSERT_TRUE(fetch(server.url("/watch?v=a b\r\nX-Evil: 1\u00e9%41", "localhost") + "#frag").ok);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string port = std::to_string(server.port());
    EXPECT_EQ(requests[0].raw,
              fixedHeaders("/watch?v=abc&feature=related", "127.0.0.1:" + port) + "\r\n");
    EXPECT_EQ(
        requests[1].raw,
        fixedHeaders("/watch?v=a%20b%0D%0AX-Evil:%201%C3%A9%41", "localhost:" + port) + "\r\n");
}

struct AddressCase {
    const char* url;
    const char* host;  // Host header value; nullptr when the address is refused
    const char* target;
};

TEST(HttpAddress, SplitsAndEncodesOrRefuses) {
    const AddressCase cases[] = {
        {"http://www.example.com/watch?v=x", "www.example.com", "/watch?v=x"},
        {"http://Example.com:80/a", "Example.com", "/a"},
        {"http://example.com:8080", "example.com:8080", "/"},
        {"http://example.com?q=1", "example.com", "/?q=1"},
        {"http://example.com/a/b#frag", "example.com", "/a/b"},
        {"HTTP://user:pw@example.com/", "example.com", "/"},
        {"http://example.com/\t\x7f|%zz", "example.com", "/%09%7F|%zz"},
        {"http://example.com/caf\u00e9?q=\u00fc", "example.com", "/caf%C3%A9?q=%C3%BC"},
        {"https://example.com/", nullptr, nullptr},
        {"HTTPS://example.com:80/", nullptr, nullptr},
        {"ftp://example.com/", nullptr, nullptr},
        {"example.com/watch?v=x", nullptr, nullptr},
        {"http:///path", nullptr, nullptr},
        {"http://exa mple.com/", nullptr, nullptr},
        {"http://example.com\r\nX: 1/", nullptr, nullptr},
        {"http://example.com:99999/", nullptr, nullptr},
        {"http://[::1]/", nullptr, nullptr},
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.url);
        QString error;
        const auto address = parseHttpAddress(QString::fromUtf8(c.url), &error);
        if (!c.host) {
            EXPECT_FALSE(address.has_value());
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        ASSERT_TRUE(address.has_value()) << error.toStdString();
        EXPECT_EQ(hostHeaderValue(*address).toStdString(), c.host);
        EXPECT_EQ(address->target.toStdString(), c.target);
    }
}

TEST_F(HttpClientTest, HttpsFailsWithoutAnyConnection) {
    const Fetched result = fetch(server.url("/watch?v=x").replace("http:", "https:"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.file.isEmpty());
    EXPECT_EQ(client.connectionsOpened(), 0);
    EXPECT_EQ(server.connectionsAccepted(), 0);
}

TEST_F(HttpClientTest, CookiesGoBackByHostPathExpiryAndNeverWhenSecure) {
    server.push(ScriptedServer::status(404, "Set-Cookie: FROM404=yes; path=/\r\n", "gone"));
    server.push(ScriptedServer::ok(
        "page",
        "Set-Cookie: VISITOR=abc; Path=/\r\n"
        "Set-Cookie: SECRET=s; Path=/; Secure\r\n"
        "Set-Cookie: OLD=o; Path=/; Expires=Thu, 01 Jan 2004 00:00:00 GMT\r\n"
        "Set-Cookie: SCOPED=p; Path=/watch\r\n"
        "set-cookie2: V2=\"two\"; Version=\"1\"; Path=\"/\", W2=w; Version=1\r\n"));
    server.setHandler([](const ScriptedServer::Request&) { return ScriptedServer::ok("x"); });

    EXPECT_FALSE(fetch(server.url("/watch?v=1", "localhost")).ok);
    ASSERT_TRUE(fetch(server.url("/watch?v=2", "localhost")).ok);
    ASSERT_TRUE(fetch(server.url("/watch?v=3", "localhost")).ok);
    ASSERT_TRUE(fetch(server.url("/vi/3/default.jpg", "127.0.0.1"), "default.0").ok);
    ASSERT_TRUE(fetch(server.url("/other", "localhost")).ok);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_FALSE(requests[0].hasHeader("Cookie"));
    EXPECT_FALSE(requests[0].hasHeader("Cookie2"));
    // A cookie from a failing response is kept.
    EXPECT_EQ(requests[1].header("Cookie"), "FROM404=yes");

    const std::string port = std::to_string(server.port());
    const std::string third = requests[2].raw;
    const std::string head = fixedHeaders("/watch?v=3", "localhost:" + port) + "Cookie: ";
    ASSERT_EQ(third.substr(0, head.size()), head);
    const std::string tail = "\r\nCookie2: $Version=\"1\"\r\n\r\n";
    EXPECT_EQ(third.substr(third.size() - tail.size()), tail);
    const std::string cookies = requests[2].header("Cookie");
    for (const char* sent : {"FROM404=yes", "VISITOR=abc", "SCOPED=p", "V2=\"two\"", "W2=w"})
        EXPECT_NE(cookies.find(sent), std::string::npos) << sent << " missing in " << cookies;
    for (const char* kept : {"SECRET", "OLD"})
        EXPECT_EQ(cookies.find(kept), std::string::npos) << kept << " sent in " << cookies;

    // Another host (the same server under its address) gets no cookie at all.
    EXPECT_FALSE(requests[3].hasHeader("Cookie"));
    EXPECT_FALSE(requests[3].hasHeader("Cookie2"));
    const std::string other = requests[4].header("Cookie");
    EXPECT_NE(other.find("VISITOR=abc"), std::string::npos);
    EXPECT_EQ(other.find("SCOPED"), std::string::npos);
}

struct ReuseCase {
    const char* name;
    ScriptedServer::Reply first;
    bool reused;
};

TEST(HttpConnection, KeptOnlyUntilTheServerOrTheResponseClosesIt) {
    const ReuseCase cases[] = {
        {"plain", ScriptedServer::ok("a"), true},
        {"keep-alive", ScriptedServer::ok("a", "Connection: keep-alive\r\n"), true},
        {"failure with a body", ScriptedServer::status(404, "", "missing"), true},
        {"connection close", ScriptedServer::ok("a", "Connection: Close\r\n"), false},
        {"proxy-connection close", ScriptedServer::ok("a", "Proxy-Connection: close\r\n"), false},
        {"server closes", ScriptedServer::status(200, "", "a", After::Close), false},
        {"until close", ScriptedServer::Reply("HTTP/1.1 200 OK\r\n\r\na", After::Close), false},
    };
    for (const ReuseCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ScriptedServer server;
        HttpClient client;
        server.push(c.first);
        server.push(ScriptedServer::ok("second"));
        for (int i = 0; i < 2; ++i) {
            ScratchFile file(dir.path(), QStringLiteral("youtube.0"));
            try {
                client.Get(server.url("/watch?v=" + std::to_string(i)), file);
            } catch (const FetchError&) {
            }
            file.close();
            if (i == 1) {
                EXPECT_EQ(ScratchFile::readAll(file.path()), "second");
            }
        }
        EXPECT_EQ(client.connectionsOpened(), c.reused ? 1 : 2);
        EXPECT_EQ(server.connectionsAccepted(), c.reused ? 1 : 2);
    }
}

TEST_F(HttpClientTest, AnotherHostOrPortClosesTheConnection) {
    ScriptedServer second;
    server.setHandler([](const ScriptedServer::Request&) { return ScriptedServer::ok("a"); });
    second.setHandler([](const ScriptedServer::Request&) { return ScriptedServer::ok("b"); });
    ASSERT_TRUE(fetch(server.url("/1", "localhost")).ok);
    ASSERT_TRUE(fetch(server.url("/2", "localhost")).ok);
    EXPECT_EQ(client.connectionsOpened(), 1);
    ASSERT_TRUE(fetch(server.url("/3", "127.0.0.1")).ok);
    EXPECT_EQ(client.connectionsOpened(), 2);
    ASSERT_TRUE(fetch(second.url("/4")).ok);
    EXPECT_EQ(client.connectionsOpened(), 3);
    ASSERT_TRUE(server.waitForRequests(3));
    const auto requests = server.requests();
    EXPECT_EQ(requests[0].connection, requests[1].connection);
    EXPECT_NE(requests[1].connection, requests[2].connection);
}

TEST_F(HttpClientTest, ResendsOnceWhenAReusedConnectionWasClosedUnanswered) {
    server.push(ScriptedServer::ok("first"));
    server.push(ScriptedServer::Reply("", After::Close));
    server.push(ScriptedServer::ok("second"));
    ASSERT_TRUE(fetch(server.url("/1")).ok);
    const Fetched second = fetch(server.url("/2"));
    EXPECT_TRUE(second.ok) << second.error.toStdString();
    EXPECT_EQ(second.file, "second");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].raw, requests[2].raw);
    EXPECT_EQ(client.connectionsOpened(), 2);
}

TEST_F(HttpClientTest, NoResendOnAFreshConnectionAndTheNextFetchStillWorks) {
    server.push(ScriptedServer::Reply("", After::Close));
    server.push(ScriptedServer::ok("fine"));
    EXPECT_FALSE(fetch(server.url("/1")).ok);
    EXPECT_EQ(server.requests().size(), 1u);
    const Fetched next = fetch(server.url("/2"));
    EXPECT_TRUE(next.ok);
    EXPECT_EQ(next.file, "fine");
}

TEST_F(HttpClientTest, SilentServerHitsTheIdleLimitWhileTheWindowKeepsPainting) {
    int idleCalls = 0;
    client.setIdleHook([&] { ++idleCalls; });
    client.setTimeouts(5s, 200ms);
    server.push(ScriptedServer::Reply("", After::Hang));
    server.push(ScriptedServer::ok("back"));
    const Fetched result = fetch(server.url("/silent"));
    EXPECT_FALSE(result.ok);
    EXPECT_GE(idleCalls, 3);
    // The stalled connection is dropped; the next fetch gets a new one.
    EXPECT_TRUE(fetch(server.url("/again")).ok);
    EXPECT_EQ(client.connectionsOpened(), 2);
}

// A TCP socket bound to a free port on 127.0.0.1; address receives the port.
int boundLoopbackSocket(sockaddr_in& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return fd;
}

// A listener that never accepts, with its queue already full: a connect to it hangs.
struct UnansweredListener {
    UnansweredListener() {
        listener = boundLoopbackSocket(address);
        EXPECT_EQ(::listen(listener, 0), 0);
        for (int i = 0; i < 3; ++i) {
            fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(fillers.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        }
    }
    ~UnansweredListener() {
        for (int fd : fillers)
            ::close(fd);
        ::close(listener);
    }
    sockaddr_in address{};
    int listener = -1;
    std::vector<int> fillers;
};

TEST_F(HttpClientTest, UnansweredConnectHitsTheConnectLimit) {
    const UnansweredListener hanging;
    const sockaddr_in& address = hanging.address;
    int idleCalls = 0;
    client.setIdleHook([&] { ++idleCalls; });
    client.setTimeouts(300ms, 5s);
    const Fetched result =
        fetch(QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(address.sin_port)));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QLatin1String("connect"))) << result.error.toStdString();
    EXPECT_GT(idleCalls, 0);
}

TEST_F(HttpClientTest, RefusedConnectionFails) {
    sockaddr_in address{};
    const int probe = boundLoopbackSocket(address);
    ::close(probe);
    EXPECT_FALSE(fetch(QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(address.sin_port))).ok);
}

TEST_F(HttpClientTest, SlowBodyKeepsTheWindowPaintingAndRefusesANestedFetch) {
    ScriptedServer::Reply slow;
    slow.parts = {"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n", "ab", "cd", "ef"};
    slow.gap = 80ms;
    server.push(slow);
    int idleCalls = 0;
    int refused = 0;
    client.setIdleHook([&] {
        ++idleCalls;
        ScratchFile other(dir.path(), QStringLiteral("default.0"));
        try {
            client.Get(server.url("/nested"), other);
        } catch (const FetchError&) {
            ++refused;
        }
    });
    const Fetched result = fetch(server.url("/slow"));
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.file, "abcdef");
    EXPECT_GT(idleCalls, 0);
    EXPECT_EQ(refused, idleCalls);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(HttpClientTest, FailedWriteFailsTheFetchAndDropsTheConnection) {
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    server.push(ScriptedServer::ok(std::string(200000, 'z')));
    server.push(ScriptedServer::ok("next"));
    {
        ScratchFile full(QStringLiteral("/dev/"), QStringLiteral("full"));
        EXPECT_THROW(client.Get(server.url("/big"), full), FetchError);
    }
    const Fetched next = fetch(server.url("/next"));
    EXPECT_TRUE(next.ok);
    EXPECT_EQ(next.file, "next");
    EXPECT_EQ(client.connectionsOpened(), 2);
}

// ---- broken and hostile servers ----

struct LimitCase {
    const char* name;
    ScriptedServer::Reply reply;
    bool ok;
};

TEST_F(HttpClientTest, BodiesOverTheLimitFailAndLeaveTheFileEmpty) {
    constexpr qint64 kLimit = 256 * 1024;
    const std::string chunk = "4000\r\n" + std::string(0x4000, 'c') + "\r\n";
    const LimitCase cases[] = {
        {"exactly the limit", ScriptedServer::ok(std::string(kLimit, 'a')), true},
        {"one byte over", ScriptedServer::ok(std::string(kLimit + 1, 'a')), false},
        {"endless chunks",
         ScriptedServer::endless("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunk),
         false},
        {"endless until close", ScriptedServer::endless("HTTP/1.1 200 OK\r\n\r\n", chunk), false},
    };
    server.setHandler([](const ScriptedServer::Request&) { return ScriptedServer::ok("next"); });
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.name);
        server.push(c.reply);
        const Fetched result = fetch(server.url("/big"), QStringLiteral("youtube.0"), kLimit);
        EXPECT_EQ(result.ok, c.ok) << result.error.toStdString();
        EXPECT_EQ(result.file.size(), c.ok ? kLimit : 0);
        const Fetched next = fetch(server.url("/next"));
        EXPECT_TRUE(next.ok) << next.error.toStdString();
        EXPECT_EQ(next.file, "next");
    }
}

TEST_F(HttpClientTest, TheFetchLimitEndsATrickleAndTheConnectLimitASlowLookup) {
    // One byte every 20 ms keeps the idle limit from ever running out.
    server.push(
        ScriptedServer::endless("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", "t", 20ms));
    client.setTimeouts(5s, 5s, 300ms);
    const Fetched trickle = fetch(server.url("/trickle"));
    EXPECT_FALSE(trickle.ok);
    EXPECT_TRUE(trickle.error.contains(QLatin1String("took longer")))
        << trickle.error.toStdString();

    client.setResolver([](const char*, const char*, const addrinfo*, addrinfo**) {
        std::this_thread::sleep_for(2s);
        return EAI_NONAME;
    });
    client.setTimeouts(200ms, 5s);
    const Fetched lookup = fetch(QStringLiteral("http://slow.example/"));
    EXPECT_FALSE(lookup.ok);
    EXPECT_FALSE(lookup.aborted);
    EXPECT_TRUE(lookup.error.contains(QLatin1String("looking up"))) << lookup.error.toStdString();
}

// Where a fetch can wait; in each the idle hook gets its turns and can break the fetch off.
enum class Wait { Lookup, Connect, Response, Body, Trickle };

TEST_F(HttpClientTest, AbortFromTheIdleHookBreaksOffEveryWaitAndDropsTheConnection) {
    const UnansweredListener hanging;
    const sockaddr_in& address = hanging.address;
    const QString unanswered = QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(address.sin_port));
    client.setResolver(
        [](const char* host, const char* service, const addrinfo* hints, addrinfo** result) {
            if (std::strcmp(host, "slow.example") == 0)
                std::this_thread::sleep_for(2s);
            return ::getaddrinfo("127.0.0.1", service, hints, result);
        });

    const struct {
        Wait wait;
        const char* name;
    } cases[] = {{Wait::Lookup, "lookup"},
                 {Wait::Connect, "connect"},
                 {Wait::Response, "response"},
                 {Wait::Body, "endless body"},
                 {Wait::Trickle, "trickling body"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString url = server.url("/wait");
        switch (c.wait) {
            case Wait::Lookup:
                url = QStringLiteral("http://slow.example:%1/wait").arg(server.port());
                break;
            case Wait::Connect:
                url = unanswered;
                break;
            case Wait::Response:
                server.push(ScriptedServer::Reply("", After::Hang));
                break;
            case Wait::Body:
                server.push(
                    ScriptedServer::endless("HTTP/1.1 200 OK\r\n\r\n", std::string(8192, 'b')));
                break;
            case Wait::Trickle:
                server.push(ScriptedServer::endless("HTTP/1.1 200 OK\r\n\r\n", "b", 5ms));
                break;
        }
        client.disconnect();
        int hooks = 0;
        client.setIdleHook([&] {
            ++hooks;
            client.requestAbort();
        });
        const int opened = client.connectionsOpened();
        // A limit that the endless body cannot reach before the first turn of the hook.
        const Fetched aborted = fetch(url, QStringLiteral("youtube.0"), qint64(1) << 40);
        EXPECT_TRUE(aborted.aborted) << aborted.error.toStdString();
        EXPECT_EQ(hooks, 1);

        // The next fetch starts clean, on a new connection.
        client.setIdleHook(nullptr);
        server.push(ScriptedServer::ok("after"));
        const Fetched next = fetch(server.url("/after"));
        EXPECT_TRUE(next.ok) << next.error.toStdString();
        EXPECT_EQ(next.file, "after");
        const bool connected = c.wait != Wait::Lookup && c.wait != Wait::Connect;
        EXPECT_EQ(client.connectionsOpened(), opened + (connected ? 2 : 1));
    }
}

}  // namespace
