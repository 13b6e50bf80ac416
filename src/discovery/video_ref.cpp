#include "discovery/video_ref.h"

namespace {

const QString kWatchToken = QStringLiteral("watch?v=");
const QString kAmpersand = QStringLiteral("&");
const QString kBlank = QStringLiteral(" ");
const QString kHttp = QStringLiteral("http");

// QString::contains() finds an empty needle everywhere; here an empty token is never found.
bool holds(const QString& text, const QString& token) {
    return !token.isEmpty() && text.contains(token, Qt::CaseSensitive);
}

QString cutIdentifier(const QString& text, const QString& startToken) {
    QString id = generic_find(text, startToken, kAmpersand);
    if (holds(id, kBlank))
        id = generic_find(id, startToken, kBlank);
    if (holds(id, kHttp))
        id = generic_find(id, startToken, kHttp);
    return id;
}

}  // namespace

QString generic_find(const QString& word, const QString& start, const QString& endIndexWord) {
    if (start.isEmpty() || word.isEmpty())
        return QString();
    const qsizetype at = word.indexOf(start, 0, Qt::CaseSensitive);
    if (at < 0)
        return QString();
    const qsizetype restFrom = at + start.size();
    const qsizetype end =
        endIndexWord.isEmpty() ? -1 : word.indexOf(endIndexWord, restFrom, Qt::CaseSensitive);
    if (end < 0)
        return word.mid(restFrom);
    return word.mid(restFrom, end - restFrom);
}

QString find_video_id(const QString& text, const QString& shortLinkToken) {
    QString id = cutIdentifier(text, kWatchToken);
    if (id.isEmpty())
        id = cutIdentifier(text, shortLinkToken);
    return id;
}
