#include "catalog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace demosite {

namespace {

constexpr std::uint64_t kRingSize = std::uint64_t{1} << 22;
// How far apart two related videos may lie on the ring.
constexpr std::int64_t kNeighbourhood = 500;
// Foreign identifiers all land in the first positions of the ring, so that digs from typed
// addresses and from a data file's references meet each other instead of spreading out.
constexpr std::uint64_t kForeignRegion = 3000;
constexpr std::uint64_t kIdKey = 0x3c6ef372fe94f82bULL;

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::uint64_t mix(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t inverseOdd(std::uint64_t c) {
    std::uint64_t inv = c;
    for (int i = 0; i < 6; ++i)
        inv *= 2 - c * inv;
    return inv;
}

std::uint64_t unshift(std::uint64_t y, int s) {
    std::uint64_t x = y;
    for (int i = 0; i < 64 / s + 1; ++i)
        x = y ^ (x >> s);
    return x;
}

std::uint64_t unmix(std::uint64_t x) {
    x = unshift(x, 31);
    x *= inverseOdd(0x94d049bb133111ebULL);
    x = unshift(x, 27);
    x *= inverseOdd(0xbf58476d1ce4e5b9ULL);
    return unshift(x, 30);
}

int alphabetIndex(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '-')
        return 62;
    if (c == '_')
        return 63;
    return -1;
}

// A small deterministic generator; the graph must not depend on the standard library's engines.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() { return mix(state_ += 0x9e3779b97f4a7c15ULL); }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    double unit() { return (next() >> 11) * (1.0 / 9007199254740992.0); }

  private:
    std::uint64_t state_;
};

std::vector<std::string> relatedAround(std::uint64_t centre, std::uint64_t seed) {
    Rng rng(seed);
    std::vector<std::string> out;
    std::unordered_set<std::uint64_t> seen{centre};
    while (static_cast<int>(out.size()) < Catalog::kRelatedPerPage) {
        auto offset = static_cast<std::int64_t>(rng.below(2 * kNeighbourhood + 1)) - kNeighbourhood;
        std::uint64_t position = (centre + kRingSize + offset) % kRingSize;
        if (seen.insert(position).second)
            out.push_back(Catalog::poolId(position));
    }
    return out;
}

template <std::size_t N>
const char* pick(Rng& rng, const std::array<const char*, N>& words) {
    return words[rng.below(N)];
}

const std::array<const char*, 24> kOpeners = {
    "Amazing",     "Funny",      "Epic",          "Tiny",     "Unbelievable", "Crazy",
    "Beautiful",   "Best",       "Weird",         "Classic",  "Incroyable",   "Süße",
    "Größte",      "Fantástico", "Très drôle",    "Lovely",   "Old",          "Brand new",
    "Slow-motion", "Homemade",   "Überraschende", "Mañana's", "Sweet",        "Giant",
};
const std::array<const char*, 24> kSubjects = {
    "cat",
    "dog",
    "skateboard trick",
    "guitar solo",
    "drum cover",
    "sunset",
    "kitten",
    "magic trick",
    "card trick",
    "goal",
    "crêpe",
    "crème brûlée",
    "Straßenmusik",
    "piñata",
    "café concert",
    "jalapeño challenge",
    "snowboard run",
    "parkour run",
    "dance",
    "choir",
    "rocket launch",
    "train ride",
    "smoothie",
    "parade",
};
const std::array<const char*, 20> kEndings = {
    "compilation",     "in slow motion",         "gone wrong",      "(official video)",
    "live in München", "at the Zürich Festival", "– part 2",        "HD",
    "for beginners",   "in 5 minutes",           "vs. the world",   "(bloopers)",
    "東京 edition",    "on the beach",           "São Paulo remix", "tutorial",
    "at midnight",     "– the original",         "reaction",        "extended cut",
};
const std::array<const char*, 8> kPairs = {
    "Tom & Jerry",   "Rock & Roll",       "Salt & Pepper",  "Q & A",
    "Black & White", "Pride & Prejudice", "Fast & Furious", "Mac & Cheese",
};
const std::array<const char*, 16> kUploaders = {
    "EvilSquirrelPictures",
    "hggh22",
    "TimeGem",
    "marcosoycadiz",
    "björnsson",
    "LaurenTV",
    "mr_kitty",
    "ZürichSounds",
    "niñaBonita",
    "captainvideo",
    "dj-fresh",
    "HomeMovies",
    "Ōsaka_walker",
    "gamer4life",
    "MusicBox",
    "the_daily_clip",
};
const std::array<const char*, 12> kCategories = {
    "Music",         "Comedy",           "Entertainment",   "Pets & Animals",
    "Sports",        "Film & Animation", "Travel & Events", "People & Blogs",
    "Howto & Style", "Autos & Vehicles", "Gaming",          "News & Politics",
};

std::string makeTitle(Rng& rng) {
    std::string title;
    switch (rng.below(10)) {
        case 0:
        case 1:
            title = std::string(pick(rng, kPairs)) + " " + pick(rng, kEndings);
            break;
        case 2:
            title = std::string("The \"") + pick(rng, kOpeners) + "\" " + pick(rng, kSubjects);
            break;
        default:
            title = std::string(pick(rng, kOpeners)) + " " + pick(rng, kSubjects) + " " +
                    pick(rng, kEndings);
    }
    return title;
}

void fillGenerated(VideoInfo& v, std::uint64_t seed, bool figures) {
    Rng rng(seed ^ 0x51ed270b27a4f1c3ULL);
    v.title = makeTitle(rng);
    if (!figures) {
        v.uploader = pick(rng, kUploaders);
        v.category = pick(rng, kCategories);
        v.ageDays = static_cast<int>(rng.below(2000));
        double u = rng.unit();
        if (u < 0.7)
            v.lengthSeconds = 20 + static_cast<int>(rng.below(580));
        else if (u < 0.9)
            v.lengthSeconds = 600 + static_cast<int>(rng.below(3000));
        else
            v.lengthSeconds = 3600 + static_cast<int>(rng.below(3 * 3600));
        // From tens to billions, most of them in the thousands.
        v.views = static_cast<long long>(std::pow(10.0, 1.0 + 8.5 * std::pow(rng.unit(), 1.3)));
        v.rating = 1.0 + 4.0 * rng.unit();
        v.ratings = static_cast<int>(rng.below(5000));
        v.comments = static_cast<int>(rng.below(2000));
    }
}

bool parseInt(const std::string& text, long long& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < 0)
        return false;
    out = value;
    return true;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return fields;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra = c >= 0xc2 && c <= 0xdf   ? 1
                    : c >= 0xe0 && c <= 0xef ? 2
                    : c >= 0xf0 && c <= 0xf4 ? 3
                                             : 0;
        if (extra == 0 || i + extra >= s.size())
            return false;
        auto second = static_cast<unsigned char>(s[i + 1]);
        // No overlong forms, no surrogates, nothing beyond U+10FFFF.
        if ((c == 0xe0 && second < 0xa0) || (c == 0xed && second > 0x9f) ||
            (c == 0xf0 && second < 0x90) || (c == 0xf4 && second > 0x8f))
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += extra + 1;
    }
    return true;
}

ThumbSize thumbSize(ThumbShape shape) {
    switch (shape) {
        case ThumbShape::Standard:
            return {120, 90};
        case ThumbShape::Wide:
            return {320, 180};
        case ThumbShape::Large:
            return {480, 360};
        case ThumbShape::Portrait:
            return {180, 320};
    }
    return {120, 90};
}

std::uint64_t hashText(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return mix(h);
}

std::string formatLength(int seconds) {
    if (seconds < 0)
        seconds = 0;
    char buf[32];
    if (seconds >= 3600)
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(buf, sizeof buf, "%d:%02d", seconds / 60, seconds % 60);
    return buf;
}

std::string groupThousands(long long value) {
    std::string digits = std::to_string(value < 0 ? 0 : value);
    std::string out;
    int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string Catalog::poolId(std::uint64_t position) {
    std::uint64_t v = mix(position ^ kIdKey);
    std::string id(11, 'A');
    id[0] = kAlphabet[v >> 60];
    for (int i = 0; i < 10; ++i)
        id[1 + i] = kAlphabet[(v >> (54 - 6 * i)) & 63];
    return id;
}

std::int64_t Catalog::poolPosition(std::string_view id) {
    if (id.size() != 11)
        return -1;
    int first = alphabetIndex(id[0]);
    if (first < 0 || first >= 16)
        return -1;
    std::uint64_t v = static_cast<std::uint64_t>(first) << 60;
    for (int i = 0; i < 10; ++i) {
        int d = alphabetIndex(id[1 + i]);
        if (d < 0)
            return -1;
        v |= static_cast<std::uint64_t>(d) << (54 - 6 * i);
    }
    std::uint64_t position = unmix(v) ^ kIdKey;
    return position < kRingSize ? static_cast<std::int64_t>(position) : -1;
}

bool Catalog::loadSfu(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || !isValidUtf8(line))
            continue;
        std::vector<std::string> f = splitTabs(line);
        const std::string& id = f[0];
        // Identifiers go into page addresses and markup: keep to the site's own alphabet.
        if (id.empty() || id.size() > 64 ||
            !std::all_of(id.begin(), id.end(), [](char c) { return alphabetIndex(c) >= 0; }))
            continue;
        Record rec;
        rec.info.id = id;
        long long age = 0, length = 0, views = 0, ratings = 0, comments = 0;
        if (f.size() >= 9 && parseInt(f[2], age) && parseInt(f[4], length) &&
            parseInt(f[5], views) && parseInt(f[7], ratings) && parseInt(f[8], comments)) {
            rec.hasFigures = true;
            rec.info.uploader = f[1];
            rec.info.ageDays = static_cast<int>(std::min(age, 100000LL));
            rec.info.category = f[3];
            rec.info.lengthSeconds = static_cast<int>(std::min(length, 1000000LL));
            rec.info.views = views;
            rec.info.rating = std::atof(f[6].c_str());
            rec.info.ratings = static_cast<int>(std::min(ratings, 2000000000LL));
            rec.info.comments = static_cast<int>(std::min(comments, 2000000000LL));
        }
        for (std::size_t i = 9; i < f.size(); ++i) {
            const std::string& r = f[i];
            if (!r.empty() && r.size() <= 64 &&
                std::all_of(r.begin(), r.end(), [](char c) { return alphabetIndex(c) >= 0; }))
                rec.related.push_back(r);
        }
        if (known_.find(id) == known_.end())
            knownOrder_.push_back(id);
        known_[id] = std::move(rec);
    }
    return true;
}

std::vector<std::string> Catalog::related(std::string_view id) const {
    if (allNew_) {
        // Node n of a 20-ary tree lists nodes 20n + 1 to 20n + 20; a start the site did not
        // make is the root.
        const std::int64_t position = poolPosition(id);
        const std::uint64_t node = position < 0 ? 0 : static_cast<std::uint64_t>(position);
        std::vector<std::string> out;
        for (int i = 1; i <= kRelatedPerPage; ++i)
            out.push_back(
                poolId((node * kRelatedPerPage + static_cast<std::uint64_t>(i)) % kRingSize));
        return out;
    }
    auto it = known_.find(std::string(id));
    if (it != known_.end() && !it->second.related.empty())
        return it->second.related;
    std::int64_t position = poolPosition(id);
    if (position >= 0)
        return relatedAround(static_cast<std::uint64_t>(position), mix(position + 1));
    std::uint64_t h = hashText(id);
    return relatedAround(h % kForeignRegion, h);
}

VideoInfo Catalog::info(std::string_view id) const {
    auto it = known_.find(std::string(id));
    VideoInfo v;
    bool figures = false;
    if (it != known_.end() && it->second.hasFigures) {
        v = it->second.info;
        figures = true;
    }
    v.id = std::string(id);
    fillGenerated(v, hashText(id), figures);
    return v;
}

std::vector<std::string> Catalog::featured(std::size_t count) const {
    std::vector<std::string> out;
    for (const std::string& id : knownOrder_) {
        if (out.size() >= count)
            break;
        if (!known_.at(id).related.empty())
            out.push_back(id);
    }
    for (std::uint64_t i = 0; out.size() < count; ++i)
        out.push_back(poolId((i * 104729 + 7919) % kRingSize));
    return out;
}

ThumbShape Catalog::thumbShape(std::string_view id) const {
    std::uint64_t h = hashText(id) >> 8;
    switch (h % 10) {
        case 0:
        case 1:
            return ThumbShape::Wide;
        case 2:
        case 3:
            return ThumbShape::Large;
        case 4:
            return ThumbShape::Portrait;
        default:
            return ThumbShape::Standard;
    }
}

int Catalog::thumbVariant(std::string_view id) const {
    return static_cast<int>((hashText(id) >> 20) % kThumbVariants);
}

}  // namespace demosite
