#pragma once

#include "catalog.h"

#include <string>
#include <string_view>

namespace demosite {

// The caption of this release's main window, which "/v.0" names as the newest.
extern const char kReleaseCaption[];

// The related-video pattern the program carries built in; the remote configuration repeats it.
std::string relatedPattern();

std::string htmlEscape(std::string_view text);
// "1,234 views", "1 view", "No views"
std::string viewsText(long long views);

// Video site. `host` is the Host header of the request; thumbnails are addressed through it so
// that the program fetches them over the same connection.
std::string watchPage(const Catalog& catalog, const std::string& id, const std::string& host);
std::string homePage(const Catalog& catalog, const std::string& host);

// Vendor site.
std::string remoteConfiguration();
std::string adsPage();
std::string sponsorsPage();
std::string sponsorVisitPage(int tid);
std::string socialPage();
std::string vendorHomePage();
std::string vendorWatchPage(const Catalog& catalog, const std::string& id,
                            const std::string& videoSite);

std::string errorPage(int status, std::string_view reason, std::string_view detail);

}  // namespace demosite
