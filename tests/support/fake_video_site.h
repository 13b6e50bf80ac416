#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <thread>

namespace httplib {
class Server;
}

// A video site on 127.0.0.1 (port chosen by the system) for tests that drive
// the window: watch pages built from a table of related identifiers, real JPEG
// thumbnails, a home page, and failures on demand. Every request path is
// recorded in order.
class FakeVideoSite {
  public:
    FakeVideoSite();
    ~FakeVideoSite();

    // "127.0.0.1:<port>"
    QString host() const { return host_; }

    // The watch page of id lists these related videos, in this order.
    void setRelated(const QString& id, const QStringList& related);
    // Title, length and view counts shown for id (defaults: "Title <id>", "1:00",
    // "<n> views").
    void setDetails(const QString& id, const QString& title, const QString& length,
                    const QString& views);
    // The thumbnail address that pages give for id, scheme-less ("//host/path").
    void setThumbAddress(const QString& id, const QString& address);
    // Answers 404 for this exact path (e.g. "/watch?v=abc" or
    // "/vi/abc/default.jpg").
    void fail(const QString& path);
    // Serves body for an exact path (the home page is "/").
    void setPage(const QString& path, const QByteArray& body);

    QStringList requests() const;
    // Requests whose path starts with prefix ("/watch?v=", "/vi/").
    QStringList requests(const QString& prefix) const;
    void clearRequests();

    // The scheme-less thumbnail address given for id unless set otherwise.
    QString thumbAddress(const QString& id) const;
    QByteArray watchPageFor(const QString& id) const;

  private:
    struct Details {
        QString title, length, views;
    };
    QByteArray answer(const QString& path, int& status);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    QString host_;
    QByteArray jpeg_;
    mutable QMutex mutex_;
    QHash<QString, QStringList> related_;
    QHash<QString, Details> details_;
    QHash<QString, QString> thumbs_;
    QHash<QString, QByteArray> pages_;
    QSet<QString> failing_;
    QStringList requests_;
};
