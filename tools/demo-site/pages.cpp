#include "pages.h"

#include "build_config.h"

#include <array>

namespace demosite {

const char kReleaseCaption[] = CLIPVANE_CAPTION;

namespace {

const char kPattern[] =
    R"re(<li class="video-list-item related-list-item">[\s\S]+?v=([^"]*)" class="related-video  yt-uix-sessionlink"[\s\S]+?data-thumb="([^"]*)"[\s\S]+?class="video-time">([^<]*)</span>[\s\S]+?<span dir="ltr" class="title" title="([^"]*)">[^<]*</span>[\d\D]+?<span class="stat view-count">([^<]*)</span>)re";

const char kSiteName[] = "VidSite";

const char kVideoStyle[] = R"(<style>
body{margin:0;background:#f1f1f1;font:13px/1.4 Arial,Helvetica,sans-serif;color:#222}
a{color:#167ac6;text-decoration:none}a:hover{text-decoration:underline}
#masthead{background:#fff;border-bottom:1px solid #e8e8e8;padding:8px 16px;display:flex;align-items:center;gap:16px}
#logo{font:bold 22px Arial;color:#cc181e;letter-spacing:-1px}#logo span{color:#222}
#search{flex:1;max-width:520px;display:flex}#search input{flex:1;padding:5px;border:1px solid #ccc}
#search button{padding:5px 14px;border:1px solid #d3d3d3;background:#f8f8f8}
#page{display:flex;gap:16px;max-width:1040px;margin:12px auto}
#watch-main{flex:1;min-width:0}#watch-sidebar{width:402px}
#player{background:#000;height:360px;display:flex;align-items:center;justify-content:center;color:#888}
.watch-card{background:#fff;padding:12px 16px;margin-top:10px;box-shadow:0 1px 2px rgba(0,0,0,.1)}
#watch-headline-title{font-size:20px;font-weight:normal;margin:0 0 8px}
.watch-view-count{font-size:19px;color:#666;float:right}
.video-list{list-style:none;margin:0;padding:0}
.video-list-item{position:relative;padding:6px 0;overflow:hidden}
.related-video{display:block;color:#222}.related-video:hover .title{text-decoration:underline}
.ux-thumb-wrap{float:left;position:relative;width:120px;height:90px;margin-right:8px;overflow:hidden;background:#000}
.ux-thumb-wrap img{width:120px;height:90px;object-fit:cover}
.video-time{position:absolute;right:2px;bottom:2px;background:#000;color:#fff;font-size:11px;padding:0 4px;opacity:.75}
.title{display:block;font-weight:bold;font-size:13px;max-height:3.2em;overflow:hidden}
.stat{display:block;color:#767676;font-size:11px}
.promoted{background:#fffbe6;border:1px solid #f3e3a0;padding:6px;font-size:11px;color:#6b5a10}
.comment{border-top:1px solid #eee;padding:8px 0}.comment .author{font-weight:bold;color:#167ac6}
.comment .time{color:#999;font-size:11px;margin-left:6px}
#footer{text-align:center;color:#999;font-size:11px;padding:24px}
</style>
)";

const std::array<const char*, 12> kCommentAuthors = {
    "lolcat99", "Jürgen K.", "maría_g",   "skaterboy", "ChloéParis", "N1nja",
    "oldtimer", "Søren",     "happyfeet", "tanaka_k",  "ZoëBee",     "the_critic",
};
const std::array<const char*, 12> kCommentTexts = {
    "This made my day :)",
    "Who else is watching this in 2012?",
    "Ich habe so gelacht! Großartig.",
    "¡Qué bueno! Lo vi tres veces.",
    "The part at 1:23 is the best & funniest.",
    "C'est génial, merci pour la vidéo !",
    "I don't get why this has so many views...",
    "Thumbs up if you came here from the related videos",
    "Fantastisk! Tak for deling.",
    "素晴らしい動画です",
    "Better than the original <3",
    "First comment on a video this good? Unbelievable.",
};

std::string thumbUrl(const std::string& host, const std::string& id) {
    return "//" + host + "/vi/" + id + "/default.jpg";
}

std::string page(const std::string& title, const std::string& style, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           htmlEscape(title) + "</title>\n" + style + "</head>\n" + body + "</html>\n";
}

std::string masthead() {
    std::string m =
        "<div id=\"masthead\"><a id=\"logo\" href=\"/\">Vid<span>Site</span></a>"
        "<form id=\"search\" action=\"/results\" method=\"get\">"
        "<input name=\"search_query\" type=\"text\" placeholder=\"Search\">"
        "<button type=\"submit\">Search</button></form>"
        "<a href=\"/upload\">Upload</a> <a href=\"/login\">Sign in</a></div>\n";
    return m;
}

std::string footer() {
    return "<div id=\"footer\">" + std::string(kSiteName) +
           " is a stand-in video site for trying Clipvane. All videos, titles and figures are "
           "made up.<br>&copy; 2012 " +
           kSiteName +
           " &middot; <a href=\"/\">Home</a> &middot; <a href=\"/about\">About</a></div>\n";
}

std::string relatedItem(const VideoInfo& v, const std::string& host, int index) {
    const std::string title = htmlEscape(v.title);
    const std::string thumb = thumbUrl(host, v.id);
    std::string item;
    item.reserve(900);
    item += "<li class=\"video-list-item related-list-item\">";
    item += "<a href=\"/watch?v=" + v.id +
            "\" class=\"related-video  yt-uix-sessionlink\" "
            "data-sessionlink=\"feature=relmfu&amp;ei=CN" +
            std::to_string(index) + "yt\">";
    item +=
        "<span class=\"ux-thumb-wrap contains-addto\"><span class=\"video-thumb ux-thumb "
        "yt-thumb-default-120\"><span class=\"yt-thumb-clip\"><span "
        "class=\"yt-thumb-clip-inner\"><img alt=\"Thumbnail\" src=\"" +
        thumb + "\" data-thumb=\"" + thumb +
        "\" width=\"120\"><span class=\"vertical-align\"></span></span></span></span>";
    item += "<span class=\"video-time\">" + formatLength(v.lengthSeconds) + "</span>";
    item +=
        "<button class=\"addto-button\" type=\"button\" title=\"Watch Later\" "
        "data-video-ids=\"" +
        v.id + "\"><span>Watch Later</span></button></span>";
    item += "<span dir=\"ltr\" class=\"title\" title=\"" + title + "\">" + title + "</span>";
    item += "<span class=\"stat attribution\">by <span class=\"yt-user-name\" dir=\"ltr\">" +
            htmlEscape(v.uploader) + "</span></span>";
    item += "<span class=\"stat view-count\">" + viewsText(v.views) + "</span>";
    item += "</a></li>\n";
    return item;
}

}  // namespace

std::string relatedPattern() {
    return kPattern;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string viewsText(long long views) {
    return groupThousands(views) + (views == 1 ? " view" : " views");
}

std::string watchPage(const Catalog& catalog, const std::string& id, const std::string& host) {
    const VideoInfo v = catalog.info(id);
    const std::string title = htmlEscape(v.title);
    std::string body;
    body.reserve(32 * 1024);
    body += "<body id=\"watch-page\" class=\"ltr\">\n" + masthead();
    body += "<div id=\"page\">\n<div id=\"watch-main\">\n";
    body +=
        "<div id=\"player\" data-video-id=\"" + htmlEscape(id) +
        "\"><span>The player needs a plug-in that this stand-in site does not have.</span></div>\n";
    body +=
        "<div class=\"watch-card\" id=\"watch-headline\"><h1 id=\"watch-headline-title\">"
        "<span id=\"eow-title\" dir=\"ltr\" title=\"" +
        title + "\">" + title + "</span></h1>";
    body +=
        "<span class=\"watch-view-count\"><strong>" + groupThousands(v.views) + "</strong></span>";
    body += "<div id=\"watch-userbar\">by <a class=\"yt-user-name\" href=\"/user/" +
            htmlEscape(v.uploader) + "\">" + htmlEscape(v.uploader) + "</a></div>";
    char rating[64];
    std::snprintf(rating, sizeof rating, "%.2f", v.rating);
    body += "<div id=\"watch-actions\"><span class=\"likes\">Rating " + std::string(rating) +
            " from " + groupThousands(v.ratings) + " ratings</span></div></div>\n";
    body += "<div class=\"watch-card\" id=\"watch-description\"><p>Published " +
            std::to_string(v.ageDays) +
            " days ago &middot; Category: <a href=\"/videos?c=" + htmlEscape(v.category) + "\">" +
            htmlEscape(v.category) + "</a> &middot; Length " + formatLength(v.lengthSeconds) +
            "</p>";
    body += "<p>" + title +
            ". Thanks for watching! Don&#39;t forget to rate and subscribe; more videos like this "
            "one are on my channel every week.</p>";
    body +=
        "<p>Music: &quot;Summer Breeze&quot; &ndash; used with permission. Filmed with a "
        "hand-held camera, so please excuse the shaky bits.</p></div>\n";

    // Comments: mostly there to give the page the weight of a real one.
    body += "<div class=\"watch-card\" id=\"comments-view\"><h4>All Comments (" +
            groupThousands(v.comments) + ")</h4>\n<ul class=\"comment-list\">\n";
    std::uint64_t h = hashText(id);
    for (int i = 0; i < 12; ++i) {
        std::uint64_t k = (h >> (i % 48)) + static_cast<std::uint64_t>(i) * 7;
        body += "<li class=\"comment\"><span class=\"author\">" +
                htmlEscape(kCommentAuthors[k % kCommentAuthors.size()]) +
                "</span><span class=\"time\">" + std::to_string(1 + (k % 11)) +
                " months ago</span><div class=\"comment-text\" dir=\"ltr\"><p>" +
                htmlEscape(kCommentTexts[(k / 3 + i) % kCommentTexts.size()]) +
                "</p></div><div class=\"comment-actions\"><button type=\"button\">Reply</button> "
                "<button type=\"button\" title=\"Vote Up\">+" +
                std::to_string(k % 97) + "</button></div></li>\n";
    }
    body += "</ul></div>\n</div>\n";

    body +=
        "<div id=\"watch-sidebar\">\n<div class=\"watch-card\">\n<h4 "
        "class=\"watch-sidebar-head\">Suggestions</h4>\n<ul id=\"watch-related\" "
        "class=\"video-list\">\n";
    int index = 0;
    for (const std::string& r : catalog.related(id)) {
        body += relatedItem(catalog.info(r), host, index);
        if (++index == 4)
            body +=
                "<li class=\"video-list-item promoted\"><div class=\"promoted\">Promoted: "
                "<a href=\"/watch_promoted\">Discover more channels &amp; playlists</a>"
                "</div></li>\n";
    }
    body +=
        "</ul>\n<button id=\"watch-more-related-button\" type=\"button\">Load more "
        "suggestions</button>\n</div>\n</div>\n</div>\n";
    body += footer();
    body += "</body>\n";
    return page(v.title + " - " + kSiteName, kVideoStyle, body);
}

std::string homePage(const Catalog& catalog, const std::string& host) {
    std::string body = "<body id=\"home-page\">\n" + masthead();
    body +=
        "<div id=\"page\"><div id=\"watch-main\"><div class=\"watch-card\"><h2>Recommended "
        "for you</h2>\n<div class=\"feed\">\n";
    for (const std::string& id : catalog.featured(24)) {
        const VideoInfo v = catalog.info(id);
        const std::string title = htmlEscape(v.title);
        body +=
            "<div class=\"feed-item\" style=\"display:inline-block;width:196px;vertical-align:"
            "top;margin:6px\"><a href=\"/watch?v=" +
            id + "&amp;feature=g-vrec\" class=\"ux-thumb-wrap\"><img src=\"" + thumbUrl(host, id) +
            "\" alt=\"\" width=\"120\"><span class=\"video-time\">" +
            formatLength(v.lengthSeconds) + "</span></a><a class=\"title\" href=\"/watch?v=" + id +
            "\" title=\"" + title + "\">" + title + "</a><span class=\"stat\">by " +
            htmlEscape(v.uploader) + "</span><span class=\"stat\">" + viewsText(v.views) +
            "</span></div>\n";
    }
    body += "</div></div></div></div>\n" + footer() + "</body>\n";
    return page(std::string(kSiteName) + " - Broadcast Yourself", kVideoStyle, body);
}

std::string remoteConfiguration() {
    // Line 3 keeps the sponsor panel; its text is never read.
    return std::string(kReleaseCaption) + "\r\n" + kPattern + "\r\nsponsor panel on\r\n";
}

namespace {

const char kVendorStyle[] = R"(<style>
html,body{margin:0;padding:0}
body{font:12px/1.35 Tahoma,Verdana,"DejaVu Sans",sans-serif;color:#233;background:#f6f8fb}
a{color:#1a5fb4}
.wrap{max-width:760px;margin:0 auto;padding:16px 20px}
h1{font-size:22px;margin:8px 0 4px;color:#12406e}h2{font-size:15px;color:#12406e;margin:18px 0 6px}
.tag{color:#567;margin:0 0 12px}
.box{background:#fff;border:1px solid #d6dde8;border-radius:6px;padding:10px 14px;margin:10px 0}
.btn{display:inline-block;background:#1a5fb4;color:#fff;border-radius:4px;padding:6px 14px;text-decoration:none}
</style>
)";

const char kPaneStyle[] = R"(<style>
html,body{margin:0;padding:0;overflow:hidden}
body{font:11px/1.3 Tahoma,Verdana,"DejaVu Sans",sans-serif;color:#233;background:#f6f8fb;padding:5px}
.ad{display:block;background:#fff;border:1px solid #d6dde8;border-radius:4px;padding:7px;margin:0 0 7px;text-decoration:none;color:#334}
.ad b{display:block;color:#1a5fb4;font-size:12px;margin-bottom:3px}
.ad:hover{border-color:#1a5fb4}
.ad small{display:block;color:#8a94a3;margin-top:3px}
.swatch{height:46px;border-radius:3px;margin-bottom:5px}
</style>
)";

struct Sponsor {
    int tid;
    const char* name;
    const char* text;
    const char* colours;
};
const std::array<Sponsor, 3> kSponsors = {{
    {1001, "ClipSaver Pro", "Keep your favourite videos for the train ride home.",
     "#5aa0e6,#1a5fb4"},
    {1002, "Café Bücher", "Books, coffee &amp; cake in one place. Free Wi-Fi.", "#f0b35a,#c06a1a"},
    {1003, "TuneRiver", "Every song you dig up, in one playlist.", "#7ccf8a,#2a8a45"},
}};

}  // namespace

std::string adsPage() {
    std::string body = "<body>\n";
    for (const Sponsor& s : kSponsors)
        body += "<a class=\"ad\" href=\"/go.php?tid=" + std::to_string(s.tid) +
                "\"><div class=\"swatch\" style=\"background:linear-gradient(135deg," + s.colours +
                ")\"></div><b>" + s.name + "</b>" + s.text + "<small>Sponsored</small></a>\n";
    body +=
        "<a class=\"ad\" href=\"/sponsors.php\"><b>Advertise here</b>Your message in front of "
        "curious viewers.<small>About our sponsors</small></a>\n</body>\n";
    return page("Sponsors", kPaneStyle, body);
}

std::string sponsorsPage() {
    std::string body =
        "<body>\n<a class=\"ad\" href=\"/ads.php\"><b>&larr; Back</b>to the "
        "sponsors</a>\n<div class=\"ad\"><b>Our sponsors</b>keep Clipvane free. "
        "Write to ads@clipvane.example to show your product here.</div>\n";
    for (const Sponsor& s : kSponsors)
        body += "<div class=\"ad\"><b>" + std::string(s.name) + "</b>" + s.text + "</div>\n";
    body += "</body>\n";
    return page("About our sponsors", kPaneStyle, body);
}

std::string sponsorVisitPage(int tid) {
    std::string name = "our sponsor";
    for (const Sponsor& s : kSponsors)
        if (s.tid == tid)
            name = s.name;
    return page(name, kVendorStyle,
                "<body><div class=\"wrap\"><h1>" + name +
                    "</h1><p class=\"tag\">You came here from a sponsor link in Clipvane "
                    "(tracking id " +
                    std::to_string(tid) +
                    ").</p><div class=\"box\">This is a stand-in sponsor page of the demo vendor "
                    "site.</div><p><a href=\"/\">Clipvane home</a></p></div></body>\n");
}

std::string socialPage() {
    const char style[] = R"(<style>
html,body{margin:0;padding:0;overflow:hidden}
body{font:11px/1.2 Tahoma,Verdana,"DejaVu Sans",sans-serif;background:#fff;color:#333;padding:3px 4px}
.like{display:inline-block;background:#4267b2;color:#fff;border-radius:3px;padding:3px 7px;text-decoration:none;font-weight:bold}
.count{display:inline-block;border:1px solid #c9d0dc;border-radius:3px;padding:2px 5px;margin-left:3px}
.line{margin-top:5px;color:#667;white-space:nowrap}
</style>
)";
    return page(
        "Clipvane on social", style,
        "<body><a class=\"like\" href=\"/facebook.php?liked=1\">&#9829; Like</a><span "
        "class=\"count\">2,048</span><div class=\"line\">Friends of Clipvane</div></body>\n");
}

std::string vendorHomePage() {
    return page(
        "Clipvane - Expand Your YouTube Experience", kVendorStyle,
        "<body><div class=\"wrap\"><h1>Clipvane " CLIPVANE_VERSION
        "</h1><p class=\"tag\">Expand Your YouTube "
        "Experience: dig through related videos, three levels deep.</p>"
        "<div class=\"box\"><h2>What it does</h2><ul><li>Paste a video address and press Dig: "
        "every related video is listed with its thumbnail, length and views.</li><li>Explore "
        "up to three levels of related videos, sort them by title, length or views.</li><li>Copy "
        "a video address anywhere: Clipvane picks it up from the clipboard.</li></ul></div>"
        "<div class=\"box\"><h2>Get the newest version</h2><p>Version " CLIPVANE_VERSION
        " is the current "
        "release. Build it from source and install it with <code>cmake --install build --prefix "
        "~/.local</code>.</p><a class=\"btn\" href=\"/\">Download Clipvane " CLIPVANE_VERSION
        "</a></div>"
        "<p><a href=\"/facebook.php\">Social</a> &middot; <a href=\"/ads.php\">Sponsors</a></p>"
        "</div></body>\n");
}

std::string vendorWatchPage(const Catalog& catalog, const std::string& id,
                            const std::string& videoSite) {
    const VideoInfo v = catalog.info(id);
    const std::string title = htmlEscape(v.title);
    const std::string eid = htmlEscape(id);
    return page(v.title + " - Clipvane", kVendorStyle,
                "<body><div class=\"wrap\"><h1>" + title + "</h1><p class=\"tag\">by " +
                    htmlEscape(v.uploader) + " &middot; " + formatLength(v.lengthSeconds) +
                    " &middot; " + viewsText(v.views) + "</p><div class=\"box\"><img src=\"" +
                    videoSite + "/vi/" + eid +
                    "/hqdefault.jpg\" alt=\"\" width=\"480\" height=\"360\" "
                    "style=\"max-width:100%;height:auto\"></div><p><a class=\"btn\" href=\"" +
                    videoSite + "/watch?v=" + eid +
                    "\">Open on the video site</a></p><p><a href=\"/\">Clipvane "
                    "home</a></p></div></body>\n");
}

std::string errorPage(int status, std::string_view reason, std::string_view detail) {
    return page(std::to_string(status) + " " + std::string(reason), kVendorStyle,
                "<body><div class=\"wrap\"><h1>" + std::to_string(status) + " " +
                    htmlEscape(reason) + "</h1><p>" + htmlEscape(detail) +
                    "</p><p><a href=\"/\">Home</a></p></div></body>\n");
}

}  // namespace demosite
