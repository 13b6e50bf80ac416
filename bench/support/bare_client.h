#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

struct HttpAddress;

namespace bench {

// One blocking socket per host, kept alive; the same request bytes the program sends (without
// its cookies); bodies framed by Content-Length or chunked coding and collected in memory.
class BareClient {
  public:
    BareClient() = default;
    ~BareClient();
    BareClient(const BareClient&) = delete;
    BareClient& operator=(const BareClient&) = delete;

    bool get(const QString& url, std::string& body, QString* error);
    int connections() const { return connections_; }

  private:
    bool connectTo(const HttpAddress& address, QString* error);
    void closeConnection();
    bool sendAll(const QByteArray& request);
    bool fill();
    bool readLine(std::string& line);
    bool readExactly(std::size_t count, std::string& body);
    bool readResponse(std::string& body, QString* error);

    int fd_ = -1;
    QByteArray host_;
    quint16 port_ = 0;
    int connections_ = 0;
    std::string pending_;
};

struct ReplayResult {
    double ms = 0;
    std::uint64_t bytes = 0;
    int connections = 0;
    QString error;
    std::vector<QByteArray> bodies;  // kept when asked for
};

// The GET sequence through the bare client.
ReplayResult replayBare(const QStringList& urls, bool keepBodies);
// The same through the program's own client into its scratch files, without the window.
ReplayResult replayClient(const QStringList& urls, const QString& folder);

}  // namespace bench
