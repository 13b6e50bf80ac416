#include "support/steps.h"

#include "discovery/image_list.h"
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"
#include "net/scratch_file.h"
#include "support/proc_readers.h"

namespace bench {

Breakdown measureSteps(const QStringList& urls, const std::vector<QByteArray>& bodies,
                       const QString& folder, const QColor& background) {
    Breakdown b;
    TPerlRegEx matcher;
    const QString pattern = builtInRelatedPattern();
    ImageList images;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const bool watch = urls[qsizetype(i)].contains(QLatin1String("/watch?v="));
        auto t = Clock::now();
        {
            ScratchFile file(folder,
                             watch ? QStringLiteral("youtube.0") : QStringLiteral("default.0"));
            file.write(bodies[i].constData(), bodies[i].size());
            file.close();
            ScratchFile::readAll(file.path());
        }
        auto now = Clock::now();
        b.scratchMs += msBetween(t, now);
        t = now;
        if (watch) {
            RelatedVideoScan scan(matcher, pattern, bodies[i]);
            scan.study();
            for (RelatedVideo video; scan.next(video);)
                ++b.matches;
            now = Clock::now();
            b.scanMs += msBetween(t, now);
        } else {
            images.addPicture(bodies[i], background);
            now = Clock::now();
            b.thumbMs += msBetween(t, now);
        }
    }
    return b;
}

}  // namespace bench
