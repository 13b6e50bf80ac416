#pragma once

#include <QByteArray>
#include <QString>

class TPerlRegEx;

// The built-in pattern that cuts one related video out of a watch page (293 characters).
QString builtInRelatedPattern();

struct RelatedVideo {
    QString id;      // group 1
    QString thumb;   // group 2: scheme-less thumbnail address, "//..."
    QString length;  // group 3
    QString title;   // group 4, character references left as they stand
    QString views;   // group 5
};

// Runs the pattern over one downloaded page: the page bytes are taken as UTF-8 strictly (an
// invalid byte gives an empty page, so no match). Usage:
//     RelatedVideoScan scan(matcher, regx, pageBytes);
//     scan.study();   // may throw the matcher's errors
//     for (RelatedVideo v; scan.next(v);) ...
class RelatedVideoScan {
  public:
    RelatedVideoScan(TPerlRegEx& matcher, const QString& pattern, const QByteArray& page);
    void study();
    bool next(RelatedVideo& out);

  private:
    TPerlRegEx& matcher_;
    bool started_ = false;
};
