#include "support/fake_video_site.h"

#include "support/watch_page.h"

#include <httplib.h>

#include <QBuffer>
#include <QImage>
#include <QMutexLocker>

#include <chrono>

FakeVideoSite::FakeVideoSite() : server_(std::make_unique<httplib::Server>()) {
    QImage picture(120, 90, QImage::Format_RGB32);
    picture.fill(QColor(40, 120, 200));
    QBuffer buffer(&jpeg_);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 90);

    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        QString path = QString::fromStdString(request.path);
        if (!request.params.empty()) {
            // Rebuild the query as sent; the tests only use "v".
            QStringList query;
            for (const auto& [key, value] : request.params)
                query << QString::fromStdString(key) + QLatin1Char('=') +
                             QString::fromStdString(value);
            path += QLatin1Char('?') + query.join(QLatin1Char('&'));
        }
        int status = 200;
        const QByteArray body = answer(path, status);
        response.status = status;
        const bool picture = path.startsWith(QLatin1String("/vi/"));
        response.set_content(body.toStdString(),
                             picture ? "image/jpeg" : "text/html; charset=utf-8");
    });
    const int port = server_->bind_to_any_port("127.0.0.1");
    host_ = QStringLiteral("127.0.0.1:%1").arg(port);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop() before the server runs is lost, and the destructor would wait forever.
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeVideoSite::~FakeVideoSite() {
    server_->stop();
    thread_.join();
}

void FakeVideoSite::setRelated(const QString& id, const QStringList& related) {
    QMutexLocker lock(&mutex_);
    related_[id] = related;
}

void FakeVideoSite::setDetails(const QString& id, const QString& title, const QString& length,
                               const QString& views) {
    QMutexLocker lock(&mutex_);
    details_[id] = {title, length, views};
}

void FakeVideoSite::setThumbAddress(const QString& id, const QString& address) {
    QMutexLocker lock(&mutex_);
    thumbs_[id] = address;
}

void FakeVideoSite::fail(const QString& path) {
    QMutexLocker lock(&mutex_);
    failing_.insert(path);
}

void FakeVideoSite::setPage(const QString& path, const QByteArray& body) {
    QMutexLocker lock(&mutex_);
    pages_[path] = body;
}

QStringList FakeVideoSite::requests() const {
    QMutexLocker lock(&mutex_);
    return requests_;
}

QStringList FakeVideoSite::requests(const QString& prefix) const {
    QStringList matching;
    for (const QString& path : requests())
        if (path.startsWith(prefix))
            matching << path;
    return matching;
}

void FakeVideoSite::clearRequests() {
    QMutexLocker lock(&mutex_);
    requests_.clear();
}

QString FakeVideoSite::thumbAddress(const QString& id) const {
    return thumbs_.value(id, QStringLiteral("//%1/vi/%2/default.jpg").arg(host_, id));
}

QByteArray FakeVideoSite::watchPageFor(const QString& id) const {
    QList<QByteArray> items;
    for (const QString& rel : related_.value(id)) {
        const Details d = details_.value(
            rel,
            {QStringLiteral("Title ") + rel, QStringLiteral("1:00"),
             QString::number(rel.size() * 1000 + rel.at(0).unicode()) + QStringLiteral(" views")});
        items << relatedItemMarkup(rel.toUtf8(), thumbAddress(rel).toUtf8(), d.length.toUtf8(),
                                   d.title.toUtf8(), d.views.toUtf8());
    }
    return watchPage(items, 200);
}

QByteArray FakeVideoSite::answer(const QString& path, int& status) {
    QMutexLocker lock(&mutex_);
    requests_ << path;
    if (failing_.contains(path)) {
        status = 404;
        return "<html>not found</html>";
    }
    if (pages_.contains(path))
        return pages_.value(path);
    if (path.startsWith(QLatin1String("/watch?v=")))
        return watchPageFor(path.mid(9));
    if (path.startsWith(QLatin1String("/vi/")))
        return jpeg_;
    status = 404;
    return "<html>not found</html>";
}
