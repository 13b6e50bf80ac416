#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace demosite {

// What the site knows about one video. Texts are plain UTF-8; the pages escape them.
struct VideoInfo {
    std::string id;
    std::string title;
    std::string uploader;
    std::string category;
    int ageDays = 0;
    int lengthSeconds = 0;
    long long views = 0;
    double rating = 0;
    int ratings = 0;
    int comments = 0;
};

// Picture sizes the site serves as "default.jpg", picked per video.
enum class ThumbShape { Standard, Wide, Large, Portrait };
struct ThumbSize {
    int width;
    int height;
};
ThumbSize thumbSize(ThumbShape shape);
constexpr int kThumbShapes = 4;
constexpr int kThumbVariants = 6;

// The related-videos graph and the figures of every video, all derived deterministically from
// the identifier. Generated identifiers live on a ring of positions; a video's related videos
// lie near it on the ring, so neighbouring pages share many entries, as they do on a real site,
// and a dig three levels deep stays in the low thousands. Identifiers the site did not make
// (typed by the user, or named by a data file) are placed in one small region of the ring.
class Catalog {
  public:
    static constexpr int kRelatedPerPage = 20;

    // Reads a related-videos file in the SFU crawl layout: id, uploader, age, category, length,
    // views, rate, ratings, comments, then related ids, tab-separated. Known identifiers then use
    // its related lists and figures. Returns false and says why when the file cannot be read.
    bool loadSfu(const std::string& path, std::string* error);

    std::vector<std::string> related(std::string_view id) const;
    VideoInfo info(std::string_view id) const;
    // Videos for the home page, in a fixed order.
    std::vector<std::string> featured(std::size_t count) const;

    ThumbShape thumbShape(std::string_view id) const;
    int thumbVariant(std::string_view id) const;

    std::size_t knownCount() const { return known_.size(); }

    // Every watch page then lists 20 videos that no other page lists: the related videos form a
    // tree, so a depth-3 dig lists 20 + 400 + 8,000 videos (for the first five levels of any
    // start; deeper ones wrap around the ring). Overrides the related lists of a data file.
    void setAllNew(bool allNew) { allNew_ = allNew; }
    bool allNew() const { return allNew_; }

    // The generated identifier at a ring position, and back (-1 for identifiers not made here).
    static std::string poolId(std::uint64_t position);
    static std::int64_t poolPosition(std::string_view id);

  private:
    struct Record {
        VideoInfo info;
        bool hasFigures = false;
        std::vector<std::string> related;
    };
    std::unordered_map<std::string, Record> known_;
    std::vector<std::string> knownOrder_;
    bool allNew_ = false;
};

std::uint64_t hashText(std::string_view text);
// Strict: no overlong forms, no surrogates.
bool isValidUtf8(std::string_view text);
// "4:05", "1:02:03"
std::string formatLength(int seconds);
// "1,234,567"
std::string groupThousands(long long value);

}  // namespace demosite
