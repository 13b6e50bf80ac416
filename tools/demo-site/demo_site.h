#pragma once

#include "catalog.h"

#include <memory>
#include <string>

namespace demosite {

struct SiteOptions {
    int videoPort = 18080;   // 0: any free port
    int vendorPort = 18081;  // 0: any free port
    bool quiet = false;
    // Every response is held this long before it is sent, as by a distant server. Requests on
    // different connections are held side by side.
    int delayMs = 0;
};

// The stand-in video site and vendor site, each an HTTP/1.1 server on 127.0.0.1, served from
// threads of their own until stop() or destruction.
class DemoSite {
  public:
    DemoSite(Catalog catalog, SiteOptions options);
    ~DemoSite();
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    // Binds both ports and starts serving. False, with the reason, when a port cannot be had.
    bool start(std::string* error);
    void stop();

    int videoPort() const;
    int vendorPort() const;
    const Catalog& catalog() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace demosite
