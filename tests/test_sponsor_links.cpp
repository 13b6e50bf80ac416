// Which sponsor-pane navigations leave for the default browser, and which of those it may open.
#include <gtest/gtest.h>

#include "panes/sponsor_links.h"

#include <string>

namespace {

struct LinkCase {
    const char* name;
    const char* url;
    bool handOff;
    bool safe;
};

class SponsorLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(SponsorLink, HandOffAndSafety) {
    const LinkCase& c = GetParam();
    const QString url = QString::fromUtf8(c.url);
    EXPECT_EQ(shouldHandOff(url), c.handOff);
    EXPECT_EQ(isSafeExternalUrl(url), c.safe);
}

INSTANTIATE_TEST_SUITE_P(
    Links, SponsorLink,
    ::testing::Values(LinkCase{"SponsorClick", "http://ads.example/click?tid=5", true, true},
                      LinkCase{"TidEndsAnotherField", "http://ads.example/?a=1&xtid=2", true, true},
                      LinkCase{"UpperCaseTid", "http://ads.example/click?TID=5", false, true},
                      LinkCase{"TidWithoutValue", "http://ads.example/click?tid", false, true},
                      LinkCase{"VendorPage", "http://vendor.example/ads.php", false, true},
                      LinkCase{"Https", "https://ads.example/x?tid=5", true, true},
                      LinkCase{"UpperCaseScheme", "HTTP://ads.example/x?tid=5", true, true},
                      // Handed off, but never to the desktop's handler for another scheme.
                      LinkCase{"FileScheme", "file:///etc/passwd?tid=1", true, false},
                      LinkCase{"JavaScript", "javascript:alert(1)//tid=1", true, false},
                      LinkCase{"SmbShare", "smb://host/share?tid=1", true, false},
                      LinkCase{"Mailto", "mailto:a@b.example?tid=1", true, false},
                      LinkCase{"NoHost", "http:///?tid=1", true, false},
                      LinkCase{"NotAnAddress", "tid=1", true, false},
                      LinkCase{"Empty", "", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
