#include "demo_site.h"

#include "pages.h"
#include "thumbnails.h"

#include <httplib.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

namespace demosite {

namespace {

constexpr std::size_t kMaxIdBytes = 256;
// A kept-alive connection holds its thread until it closes, so leave room for a browser's
// handful of connections next to many concurrent held requests.
constexpr std::size_t kServingThreads = 32;

bool acceptableId(const std::string& id) {
    if (id.empty() || id.size() > kMaxIdBytes || !isValidUtf8(id))
        return false;
    for (unsigned char c : id)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

// The Host header goes into the pages' thumbnail addresses, so only plain host names, IPv4 and
// bracketed IPv6 addresses with an optional port are taken.
bool acceptableHost(const std::string& host) {
    if (host.empty() || host.size() > 255)
        return false;
    for (unsigned char c : host)
        if (!(std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
            return false;
    return true;
}

std::string hostName(const std::string& host) {
    if (!host.empty() && host[0] == '[')
        return host.substr(0, host.find(']') + 1);
    return host.substr(0, host.find(':'));
}

std::string cookieExpiry() {
    std::time_t when = std::time(nullptr) + 240L * 24 * 3600;
    std::tm tm{};
    gmtime_r(&when, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return buf;
}

std::string existingCookie(const httplib::Request& req, const std::string& name) {
    const std::string header = req.get_header_value("Cookie");
    const std::string key = name + "=";
    std::size_t at = 0;
    while ((at = header.find(key, at)) != std::string::npos) {
        if (at == 0 || header[at - 1] == ' ' || header[at - 1] == ';') {
            std::size_t end = header.find(';', at);
            std::string value =
                header.substr(at + key.size(),
                              end == std::string::npos ? std::string::npos : end - at - key.size());
            bool clean = !value.empty() && value.size() <= 64;
            for (unsigned char c : value)
                clean = clean && (std::isalnum(c) || c == '-' || c == '_');
            return clean ? value : std::string();
        }
        at += key.size();
    }
    return {};
}

void sendError(httplib::Response& res, int status, const char* reason, const std::string& detail) {
    res.status = status;
    res.set_content(errorPage(status, reason, detail), "text/html; charset=utf-8");
}

const char* reasonOf(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 500:
            return "Internal Server Error";
        default:
            return status >= 500 ? "Server Error" : "Error";
    }
}

}  // namespace

struct DemoSite::Impl {
    Catalog catalog;
    SiteOptions options;
    ThumbnailCache thumbnails;
    httplib::Server video;
    httplib::Server vendor;
    std::thread videoThread;
    std::thread vendorThread;
    int videoPort = -1;
    int vendorPort = -1;
    std::atomic<std::uint64_t> visitors{0};
    std::mutex logMutex;

    Impl(Catalog c, SiteOptions o) : catalog(std::move(c)), options(o) {}

    // Host header for the pages, or empty when the request must be refused.
    std::string requestHost(const httplib::Request& req, int port) const {
        if (!req.has_header("Host"))
            return req.version == "HTTP/1.0" ? "127.0.0.1:" + std::to_string(port) : std::string();
        std::string host = req.get_header_value("Host");
        return acceptableHost(host) ? host : std::string();
    }

    void setVisitorCookie(const httplib::Request& req, httplib::Response& res) {
        std::string token = existingCookie(req, "VISITOR_INFO1_LIVE");
        if (token.empty()) {
            std::string raw = Catalog::poolId(
                hashText(std::to_string(++visitors) + "/" + std::to_string(std::time(nullptr))) >>
                42);
            token = raw;
        }
        res.set_header("Set-Cookie", "VISITOR_INFO1_LIVE=" + token +
                                         "; path=/; expires=" + cookieExpiry() + "; HttpOnly");
    }

    void configureCommon(httplib::Server& server, const char* name) {
        // Headers and body go out in separate writes; without this each response waits for
        // the client's delayed acknowledgement.
        server.set_tcp_nodelay(true);
        server.set_keep_alive_max_count(100000);
        server.set_keep_alive_timeout(15);
        server.set_payload_max_length(64 * 1024);
        server.new_task_queue = [] { return new httplib::ThreadPool(kServingThreads); };
        if (options.delayMs > 0) {
            server.set_pre_routing_handler([delay = std::chrono::milliseconds(options.delayMs)](
                                               const httplib::Request&, httplib::Response&) {
                std::this_thread::sleep_for(delay);
                return httplib::Server::HandlerResponse::Unhandled;
            });
        }
        // Not SO_REUSEPORT, which the library would add: a second site on the same port must
        // fail to start instead of quietly sharing the port with the first.
        server.set_socket_options([](socket_t sock) {
            int yes = 1;
            ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty())
                sendError(res, res.status, reasonOf(res.status), "The request cannot be served.");
        });
        server.set_exception_handler(
            [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
                sendError(res, 500, "Internal Server Error", "Something went wrong.");
            });
        auto notAllowed = [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Allow", "GET, HEAD");
            sendError(res, 405, "Method Not Allowed", "Only GET and HEAD are served here.");
        };
        server.Post(".*", notAllowed);
        server.Put(".*", notAllowed);
        server.Patch(".*", notAllowed);
        server.Delete(".*", notAllowed);
        server.Options(".*", notAllowed);
        if (!options.quiet) {
            server.set_logger(
                [this, name](const httplib::Request& req, const httplib::Response& res) {
                    std::lock_guard<std::mutex> lock(logMutex);
                    std::printf("[%s] %s %s -> %d\n", name, req.method.c_str(),
                                req.target.substr(0, 200).c_str(), res.status);
                    std::fflush(stdout);
                });
        }
    }

    void routeVideo() {
        configureCommon(video, "video");
        video.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
            std::string host = requestHost(req, videoPort);
            if (host.empty())
                return sendError(res, 400, "Bad Request", "The Host header is missing or bad.");
            setVisitorCookie(req, res);
            res.set_content(homePage(catalog, host), "text/html; charset=utf-8");
        });
        video.Get("/watch", [this](const httplib::Request& req, httplib::Response& res) {
            std::string host = requestHost(req, videoPort);
            if (host.empty())
                return sendError(res, 400, "Bad Request", "The Host header is missing or bad.");
            if (!req.has_param("v"))
                return sendError(res, 400, "Bad Request", "Which video? The address has no v=.");
            std::string id = req.get_param_value("v");
            if (!acceptableId(id))
                return sendError(res, 400, "Bad Request", "That is not a video identifier.");
            setVisitorCookie(req, res);
            res.set_content(watchPage(catalog, id, host), "text/html; charset=utf-8");
        });
        video.Get(R"(/vi/([^/]+)/(default|mqdefault|hqdefault)\.jpg)",
                  [this](const httplib::Request& req, httplib::Response& res) {
                      std::string id = req.matches[1];
                      if (!acceptableId(id))
                          return sendError(res, 400, "Bad Request", "Bad video identifier.");
                      std::string kind = req.matches[2];
                      ThumbShape shape = kind == "mqdefault"   ? ThumbShape::Wide
                                         : kind == "hqdefault" ? ThumbShape::Large
                                                               : catalog.thumbShape(id);
                      res.set_header("Cache-Control", "public, max-age=86400");
                      res.set_content(thumbnails.jpeg(shape, catalog.thumbVariant(id)),
                                      "image/jpeg");
                  });
    }

    void routeVendor() {
        configureCommon(vendor, "vendor");
        auto html = [](std::string (*make)()) {
            return [make](const httplib::Request&, httplib::Response& res) {
                res.set_content(make(), "text/html; charset=utf-8");
            };
        };
        vendor.Get("/v.0", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(remoteConfiguration(), "text/plain; charset=utf-8");
        });
        vendor.Get("/", html(vendorHomePage));
        vendor.Get("/ads.php", html(adsPage));
        vendor.Get("/sponsors.php", html(sponsorsPage));
        vendor.Get("/facebook.php", html(socialPage));
        vendor.Get("/go.php", [](const httplib::Request& req, httplib::Response& res) {
            std::string tid = req.get_param_value("tid");
            bool digits = !tid.empty() && tid.size() <= 9;
            for (unsigned char c : tid)
                digits = digits && std::isdigit(c);
            if (!digits)
                return sendError(res, 400, "Bad Request", "The sponsor link is broken.");
            res.set_content(sponsorVisitPage(std::stoi(tid)), "text/html; charset=utf-8");
        });
        vendor.Get("/watch.php", [this](const httplib::Request& req, httplib::Response& res) {
            std::string id = req.get_param_value("v");
            std::string host = requestHost(req, vendorPort);
            if (!acceptableId(id) || host.empty())
                return sendError(res, 400, "Bad Request", "Which video? The address has no v=.");
            std::string videoSite = "http://" + hostName(host) + ":" + std::to_string(videoPort);
            res.set_content(vendorWatchPage(catalog, id, videoSite), "text/html; charset=utf-8");
        });
    }
};

DemoSite::DemoSite(Catalog catalog, SiteOptions options)
    : d(std::make_unique<Impl>(std::move(catalog), options)) {
    d->routeVideo();
    d->routeVendor();
}

DemoSite::~DemoSite() {
    stop();
}

bool DemoSite::start(std::string* error) {
    auto bind = [&](httplib::Server& server, int wanted, const char* what) {
        int port = wanted == 0 ? server.bind_to_any_port("127.0.0.1")
                               : (server.bind_to_port("127.0.0.1", wanted) ? wanted : -1);
        if (port < 0 && error)
            *error = std::string("cannot listen on 127.0.0.1:") + std::to_string(wanted) +
                     " for the " + what + " (is the port taken?)";
        return port;
    };
    // stop() only reaches a server once it is listening, so wait for that before going on.
    auto serve = [](httplib::Server& server, std::thread& thread) {
        thread = std::thread([&server] { server.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    d->videoPort = bind(d->video, d->options.videoPort, "video site");
    if (d->videoPort < 0)
        return false;
    d->vendorPort = bind(d->vendor, d->options.vendorPort, "vendor site");
    serve(d->video, d->videoThread);
    if (d->vendorPort < 0) {
        stop();
        return false;
    }
    serve(d->vendor, d->vendorThread);
    return true;
}

void DemoSite::stop() {
    d->video.stop();
    d->vendor.stop();
    if (d->videoThread.joinable())
        d->videoThread.join();
    if (d->vendorThread.joinable())
        d->vendorThread.join();
}

int DemoSite::videoPort() const {
    return d->videoPort;
}
int DemoSite::vendorPort() const {
    return d->vendorPort;
}
const Catalog& DemoSite::catalog() const {
    return d->catalog;
}

}  // namespace demosite
