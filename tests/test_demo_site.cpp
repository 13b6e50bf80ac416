// The stand-in site, served in-process on loopback ports chosen by the system.
#include <gtest/gtest.h>

#if __has_include("demo_site.h")

#include "demo_site.h"
#include "pages.h"

#include "build_config.h"
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

using demosite::Catalog;
using demosite::DemoSite;

namespace {

// The request the program sends, header for header.
std::string clientRequest(const std::string& target, int port, const std::string& cookie = {}) {
    std::string r = "GET " + target + " HTTP/1.1\r\nContent-Type: text/html\r\nHost: 127.0.0.1:" +
                    std::to_string(port) +
                    "\r\nAccept: text/html, */*\r\nAccept-Encoding: identity\r\nUser-Agent: "
                    "Mozilla/5.0 (Windows NT 5.1; rv:14.0) Gecko/20100101 Firefox/14.0.1\r\n";
    if (!cookie.empty())
        r += "Cookie: " + cookie + "\r\nCookie2: $Version=\"1\"\r\n";
    return r + "\r\n";
}

struct Response {
    int status = 0;
    std::string head;
    std::string body;
};

// One client connection that reads a response by its Content-Length, as the program does.
class Connection {
  public:
    explicit Connection(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Connection() { ::close(fd_); }

    Response send(const std::string& bytes) {
        Response r;
        if (!connected_ || ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
                               static_cast<ssize_t>(bytes.size()))
            return r;
        size_t split;
        while ((split = buffer_.find("\r\n\r\n")) == std::string::npos)
            if (!fill())
                return r;
        r.head = buffer_.substr(0, split);
        if (r.head.rfind("HTTP/1.1 ", 0) == 0)
            r.status = std::stoi(r.head.substr(9, 3));
        size_t length = 0;
        size_t at = r.head.find("Content-Length: ");
        if (at != std::string::npos)
            length = std::stoul(r.head.substr(at + 16));
        while (buffer_.size() < split + 4 + length)
            if (!fill())
                break;
        r.body = buffer_.substr(split + 4, length);
        buffer_.erase(0, std::min(buffer_.size(), split + 4 + length));
        return r;
    }

  private:
    bool fill() {
        char chunk[65536];
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer_.append(chunk, static_cast<size_t>(n));
        return true;
    }
    int fd_;
    bool connected_ = false;
    std::string buffer_;
};

Response get(int port, const std::string& target, const std::string& cookie = {}) {
    return Connection(port).send(clientRequest(target, port, cookie));
}

std::vector<RelatedVideo> scan(const std::string& page) {
    TPerlRegEx matcher;
    QByteArray bytes = QByteArray::fromStdString(page);
    RelatedVideoScan s(matcher, builtInRelatedPattern(), bytes);
    s.study();
    std::vector<RelatedVideo> out;
    for (RelatedVideo v; s.next(v);)
        out.push_back(v);
    return out;
}

// Rows a depth-3 dig lists: the start page as found, then two levels that explore every listed
// row, last first, and add only identifiers not listed yet.
size_t depthThreeRows(const Catalog& catalog, const std::string& start) {
    std::vector<std::string> rows = catalog.related(start);
    std::unordered_set<std::string> listed(rows.begin(), rows.end());
    for (int level = 0; level < 2; ++level) {
        for (size_t i = rows.size(); i-- > 0;)
            for (const std::string& id : catalog.related(rows[i]))
                if (listed.insert(id).second)
                    rows.push_back(id);
    }
    return rows.size();
}

class DemoSiteTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new DemoSite(Catalog(), demosite::SiteOptions{0, 0, true});
        std::string error;
        ASSERT_TRUE(site_->start(&error)) << error;
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    static int video() { return site_->videoPort(); }
    static int vendor() { return site_->vendorPort(); }
    static DemoSite* site_;
};
DemoSite* DemoSiteTest::site_ = nullptr;

TEST_F(DemoSiteTest, WatchPageListsTwentyRelatedVideosInTheBuiltInMarkup) {
    EXPECT_EQ(demosite::relatedPattern(), builtInRelatedPattern().toStdString());

    Response first = get(video(), "/watch?v=dQw4w9WgXcQ");
    ASSERT_EQ(first.status, 200);
    EXPECT_NE(first.head.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
    EXPECT_GT(first.body.size(), 15000u);
    EXPECT_LT(first.body.size(), 60000u);

    std::vector<RelatedVideo> found = scan(first.body);
    ASSERT_EQ(found.size(), 20u);
    std::vector<std::string> expected = site_->catalog().related("dQw4w9WgXcQ");
    const QString thumbPrefix = QStringLiteral("//127.0.0.1:%1/vi/").arg(video());
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].id.toStdString(), expected[i]);
        EXPECT_EQ(found[i].thumb, thumbPrefix + found[i].id + QStringLiteral("/default.jpg"));
        EXPECT_TRUE(found[i].views.endsWith(QStringLiteral(" views")) ||
                    found[i].views.endsWith(QStringLiteral(" view")));
        EXPECT_FALSE(found[i].title.isEmpty());
    }

    // Deterministic per identifier, different between identifiers.
    Response again = get(video(), "/watch?v=dQw4w9WgXcQ");
    EXPECT_EQ(again.body, first.body);
    Response other = get(video(), "/watch?v=9bZkp7q19f0");
    ASSERT_EQ(other.status, 200);
    EXPECT_NE(scan(other.body)[0].id, found[0].id);
}

TEST_F(DemoSiteTest, TitlesLengthsAndViewCountsVaryAsOnARealSite) {
    const Catalog& catalog = site_->catalog();
    bool nonAscii = false, reference = false, hours = false, minutesOnly = false;
    long long fewest = -1, most = 0;
    // The pages a depth-2 dig from one video reads.
    std::vector<std::string> ids = catalog.related("dQw4w9WgXcQ");
    for (size_t i = 0, n = ids.size(); i < n; ++i)
        for (const std::string& id : catalog.related(ids[i]))
            ids.push_back(id);
    for (const std::string& id : ids) {
        demosite::VideoInfo v = catalog.info(id);
        nonAscii = nonAscii || std::any_of(v.title.begin(), v.title.end(), [](char c) {
                       return static_cast<unsigned char>(c) >= 0x80;
                   });
        reference = reference || v.title.find('&') != std::string::npos;
        hours = hours || v.lengthSeconds >= 3600;
        minutesOnly = minutesOnly || v.lengthSeconds < 3600;
        fewest = fewest < 0 ? v.views : std::min(fewest, v.views);
        most = std::max(most, v.views);
    }
    EXPECT_TRUE(nonAscii);
    EXPECT_TRUE(reference);
    EXPECT_TRUE(hours);
    EXPECT_TRUE(minutesOnly);
    EXPECT_LT(fewest, 100);
    EXPECT_GE(most, 1000000000LL);

    EXPECT_EQ(demosite::formatLength(245), "4:05");
    EXPECT_EQ(demosite::formatLength(3723), "1:02:03");
    EXPECT_EQ(demosite::viewsText(2500000000LL), "2,500,000,000 views");

    // Titles reach the page, and so the list, with their special characters as references.
    const QRegularExpression references(QStringLiteral("&(amp|quot|#39|lt|gt);"));
    bool escaped = false;
    for (const std::string start : {"dQw4w9WgXcQ", "9bZkp7q19f0", "kJQP7kiw5Fk", "OPf0YbXqDm0"}) {
        for (const RelatedVideo& v : scan(get(video(), "/watch?v=" + start).body)) {
            QString bare = v.title;
            bare.remove(references);
            EXPECT_FALSE(bare.contains(QLatin1Char('&')) || bare.contains(QLatin1Char('"')))
                << v.title.toStdString();
            escaped = escaped || v.title.contains(QStringLiteral("&amp;"));
        }
    }
    EXPECT_TRUE(escaped) << "no title with an ampersand on four pages";
}

TEST_F(DemoSiteTest, ThumbnailsAreJpegsOfTheirShapesSize) {
    const Catalog& catalog = site_->catalog();
    for (int shape = 0; shape < demosite::kThumbShapes; ++shape) {
        std::string id;
        for (int i = 0; id.empty(); ++i) {
            std::string candidate = Catalog::poolId(static_cast<uint64_t>(i));
            if (static_cast<int>(catalog.thumbShape(candidate)) == shape)
                id = candidate;
        }
        Response r = get(video(), "/vi/" + id + "/default.jpg");
        ASSERT_EQ(r.status, 200) << id;
        EXPECT_NE(r.head.find("Content-Type: image/jpeg"), std::string::npos);
        QImage image = QImage::fromData(QByteArray::fromStdString(r.body), "JPEG");
        ASSERT_FALSE(image.isNull()) << id;
        demosite::ThumbSize size = demosite::thumbSize(static_cast<demosite::ThumbShape>(shape));
        EXPECT_EQ(image.size(), QSize(size.width, size.height)) << id;
    }
    QImage large = QImage::fromData(
        QByteArray::fromStdString(get(video(), "/vi/anything/hqdefault.jpg").body), "JPEG");
    EXPECT_EQ(large.size(), QSize(480, 360));
}

TEST_F(DemoSiteTest, ADepthThreeDigListsOneToFiveThousandVideos) {
    Catalog synthetic;
    std::vector<std::string> starts = {"dQw4w9WgXcQ", "abc123", "9bZkp7q19f0#t=30"};
    for (const std::string& id : synthetic.featured(3))
        starts.push_back(id);
    for (const std::string& start : starts) {
        size_t rows = depthThreeRows(synthetic, start);
        EXPECT_GE(rows, 1000u) << start;
        EXPECT_LE(rows, 5000u) << start;
    }

    const std::string data = CLIPVANE_SOURCE_DIR "/../shared/data/related-2007.tsv";
    if (!QFile::exists(QString::fromStdString(data)))
        GTEST_SKIP() << "no related-videos data file beside the project";
    Catalog crawl;
    std::string error;
    ASSERT_TRUE(crawl.loadSfu(data, &error)) << error;
    ASSERT_GT(crawl.knownCount(), 1000u);
    for (const std::string& start : crawl.featured(6)) {
        size_t rows = depthThreeRows(crawl, start);
        EXPECT_GE(rows, 1000u) << start;
        EXPECT_LE(rows, 5000u) << start;
    }
}

TEST(DemoSiteData, KnownIdentifiersUseTheFilesRelatedListsAndFigures) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("related.tsv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "aaaaaaaaaaa\tuploader1\t12\tPets & "
        "Animals\t3725\t1234567\t4.5\t10\t3\tbbbbbbbbbbb\tccccccccccc\r\n"
        "bbbbbbbbbbb\tup2\t1\tMusic\t59\t42\t3\t1\t0\n"
        "ccccccccccc\n"
        "bad\xff\xfe\tx\t1\tMusic\t1\t1\t1\t1\t1\n"
        "dd\"<x>\tx\t1\tMusic\t1\t1\t1\t1\t1\taaaaaaaaaaa\n"
        "eeeeeeeeeee\tup\tnot-a-number\tMusic\t1\t1\t1\t1\t1\taaaaaaaaaaa\n");
    file.close();

    Catalog catalog;
    std::string error;
    ASSERT_TRUE(catalog.loadSfu(path.toStdString(), &error));
    EXPECT_EQ(catalog.knownCount(), 4u);  // the invalid line and the unsafe identifier are left out

    DemoSite site(std::move(catalog), demosite::SiteOptions{0, 0, true});
    ASSERT_TRUE(site.start(&error)) << error;
    std::vector<RelatedVideo> found = scan(get(site.videoPort(), "/watch?v=aaaaaaaaaaa").body);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].id, QStringLiteral("bbbbbbbbbbb"));
    EXPECT_EQ(found[0].length, QStringLiteral("0:59"));
    EXPECT_EQ(found[0].views, QStringLiteral("42 views"));
    EXPECT_EQ(found[1].id, QStringLiteral("ccccccccccc"));

    // A record without a related list, or with unreadable figures, still gets a full page.
    EXPECT_EQ(scan(get(site.videoPort(), "/watch?v=ccccccccccc").body).size(), 20u);
    std::vector<RelatedVideo> e = scan(get(site.videoPort(), "/watch?v=eeeeeeeeeee").body);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].length, QStringLiteral("1:02:05"));
    EXPECT_EQ(e[0].views, QStringLiteral("1,234,567 views"));

    EXPECT_FALSE(
        Catalog().loadSfu(dir.filePath(QStringLiteral("missing.tsv")).toStdString(), &error));
}

TEST(DemoSiteAllNew, EveryPageListsVideosNoOtherPageLists) {
    Catalog catalog;
    catalog.setAllNew(true);
    for (const std::string& start : {std::string("dQw4w9WgXcQ"), Catalog().featured(1)[0]})
        EXPECT_EQ(depthThreeRows(catalog, start), 20u + 400u + 8000u) << start;

    DemoSite site(std::move(catalog), demosite::SiteOptions{0, 0, true});
    std::string error;
    ASSERT_TRUE(site.start(&error)) << error;
    std::vector<RelatedVideo> found = scan(get(site.videoPort(), "/watch?v=dQw4w9WgXcQ").body);
    ASSERT_EQ(found.size(), 20u);
    EXPECT_EQ(found[0].id.toStdString(), site.catalog().related("dQw4w9WgXcQ")[0]);
}

// Held at least as long as asked, also when many clients ask at once; both sites.
TEST(DemoSiteDelay, EveryResponseIsHeldTheGivenTime) {
    constexpr int kDelayMs = 150;
    DemoSite site(Catalog(), demosite::SiteOptions{0, 0, true, kDelayMs});
    std::string error;
    ASSERT_TRUE(site.start(&error)) << error;

    struct Outcome {
        int status = 0;
        std::chrono::steady_clock::duration took{};
    };
    const std::vector<std::pair<int, std::string>> targets = {
        {site.videoPort(), "/watch?v=abc"},
        {site.videoPort(), "/vi/abc/default.jpg"},
        {site.videoPort(), "/no/such/page"},
        {site.vendorPort(), "/v.0"},
    };
    std::vector<Outcome> outcomes(16);
    std::vector<std::thread> clients;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        clients.emplace_back([&, i] {
            const auto& [port, target] = targets[i % targets.size()];
            const auto start = std::chrono::steady_clock::now();
            outcomes[i].status = get(port, target).status;
            outcomes[i].took = std::chrono::steady_clock::now() - start;
        });
    }
    for (std::thread& client : clients)
        client.join();
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const std::string& target = targets[i % targets.size()].second;
        EXPECT_EQ(outcomes[i].status, target == "/no/such/page" ? 404 : 200) << target;
        EXPECT_GE(outcomes[i].took, std::chrono::milliseconds(kDelayMs)) << target;
    }
}

TEST_F(DemoSiteTest, HomePageOffersWatchReferencesAndWatchPagesSetACookie) {
    Response home = get(video(), "/");
    ASSERT_EQ(home.status, 200);
    size_t first = home.body.find("watch?v=");
    ASSERT_NE(first, std::string::npos);
    std::string ref = home.body.substr(first + 8, home.body.find('"', first) - first - 8);
    EXPECT_EQ(ref.substr(0, 11), site_->catalog().featured(1)[0]);
    size_t references = 0;
    for (size_t at = first; at != std::string::npos; at = home.body.find("watch?v=", at + 1))
        ++references;
    EXPECT_GE(references, 10u);

    Response watch = get(video(), "/watch?v=abc");
    size_t at = watch.head.find("Set-Cookie: VISITOR_INFO1_LIVE=");
    ASSERT_NE(at, std::string::npos);
    std::string value = watch.head.substr(at + 31, watch.head.find(';', at) - at - 31);
    Response back = get(video(), "/watch?v=abc", "VISITOR_INFO1_LIVE=" + value);
    EXPECT_NE(back.head.find("VISITOR_INFO1_LIVE=" + value + ";"), std::string::npos);
}

TEST_F(DemoSiteTest, ASecondSiteOnTheSamePortsDoesNotStart) {
    DemoSite second(Catalog(), demosite::SiteOptions{video(), 0, true});
    std::string error;
    EXPECT_FALSE(second.start(&error));
    EXPECT_NE(error.find(std::to_string(video())), std::string::npos) << error;
    EXPECT_EQ(get(video(), "/watch?v=abc").status, 200);
}

TEST_F(DemoSiteTest, OneConnectionServesConsecutiveRequests) {
    Connection connection(video());
    Response page = connection.send(clientRequest("/watch?v=abc", video()));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.head.find("Connection: close"), std::string::npos);
    Response thumb = connection.send(clientRequest("/vi/abc/default.jpg", video()));
    EXPECT_EQ(thumb.status, 200);
    EXPECT_NE(thumb.head.find("Content-Type: image/jpeg"), std::string::npos);
}

TEST_F(DemoSiteTest, VendorSiteServesConfigurationAndPanePages) {
    Response config = get(vendor(), "/v.0");
    ASSERT_EQ(config.status, 200);
    std::vector<std::string> lines;
    for (size_t at = 0; at < config.body.size();) {
        size_t end = config.body.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        lines.push_back(config.body.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], CLIPVANE_CAPTION);
    EXPECT_EQ(lines[1], builtInRelatedPattern().toStdString());

    Response ads = get(vendor(), "/ads.php");
    ASSERT_EQ(ads.status, 200);
    std::set<bool> linkKinds;
    for (size_t at = ads.body.find("href=\""); at != std::string::npos;
         at = ads.body.find("href=\"", at + 1)) {
        std::string href = ads.body.substr(at + 6, ads.body.find('"', at + 6) - at - 6);
        linkKinds.insert(href.find("tid=") != std::string::npos);
        EXPECT_EQ(get(vendor(), href).status, 200) << href;
    }
    EXPECT_EQ(linkKinds.size(), 2u) << "a sponsor link with tid= and one without";

    for (const char* path : {"/", "/facebook.php", "/watch.php?v=dQw4w9WgXcQ", "/sponsors.php"}) {
        Response r = get(vendor(), path);
        EXPECT_EQ(r.status, 200) << path;
        EXPECT_NE(r.body.find("<body"), std::string::npos) << path;
    }
}

TEST_F(DemoSiteTest, BadRequestsGetClientErrors) {
    struct Case {
        bool videoSite;
        std::string request;
        int status;
    };
    const std::string host = "Host: 127.0.0.1\r\n";
    const std::vector<Case> cases = {
        {true, "GET /watch HTTP/1.1\r\n" + host + "\r\n", 400},
        {true, "GET /watch?v= HTTP/1.1\r\n" + host + "\r\n", 400},
        {true, "GET /watch?v=%FF%FE HTTP/1.1\r\n" + host + "\r\n", 400},
        {true, "GET /watch?v=a%0Ab HTTP/1.1\r\n" + host + "\r\n", 400},
        {true, "GET /watch?v=" + std::string(300, 'x') + " HTTP/1.1\r\n" + host + "\r\n", 400},
        {true, "GET /watch?v=abc HTTP/1.1\r\n\r\n", 400},
        {true, "GET /watch?v=abc HTTP/1.1\r\nHost: a\"><script>\r\n\r\n", 400},
        {true, "GET /vi/%FF/default.jpg HTTP/1.1\r\n" + host + "\r\n", 400},
        {true, "GET /vi/abc/other.png HTTP/1.1\r\n" + host + "\r\n", 404},
        {true, "GET /no/such/page HTTP/1.1\r\n" + host + "\r\n", 404},
        {true, "POST /watch?v=abc HTTP/1.1\r\n" + host + "Content-Length: 3\r\n\r\nabc", 405},
        {true, "HELLO\r\n\r\n", 400},
        {true, "GET /" + std::string(10000, 'a') + " HTTP/1.1\r\n" + host + "\r\n", 414},
        {false, "GET /go.php?tid=abc HTTP/1.1\r\n" + host + "\r\n", 400},
        {false, "GET /watch.php HTTP/1.1\r\n" + host + "\r\n", 400},
        {false, "DELETE /v.0 HTTP/1.1\r\n" + host + "\r\n", 405},
    };
    for (const Case& c : cases) {
        Response r = Connection(c.videoSite ? video() : vendor()).send(c.request);
        EXPECT_EQ(r.status, c.status) << c.request.substr(0, 60);
    }
    EXPECT_EQ(get(video(), "/watch?v=abc").status, 200) << "still serving";
}

}  // namespace

#else

TEST(DemoSite, NotBuilt) {
    GTEST_SKIP() << "built without the demo site (CLIPVANE_BUILD_DEMO_SITE=OFF)";
}

#endif
