#pragma once

#include "catalog.h"

#include <array>
#include <string>

namespace demosite {

// A few JPEG pictures per shape, made once so that serving a thumbnail costs nothing.
class ThumbnailCache {
  public:
    ThumbnailCache();
    const std::string& jpeg(ThumbShape shape, int variant) const;

  private:
    std::array<std::array<std::string, kThumbVariants>, kThumbShapes> images_;
};

}  // namespace demosite
