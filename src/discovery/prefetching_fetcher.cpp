#include "discovery/prefetching_fetcher.h"

#include "base/errors.h"
#include "net/http_client.h"
#include "net/scratch_file.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// How often a waiting dig looks at the interrupt flag.
constexpr std::chrono::milliseconds kInterruptPoll{20};
// Pages fetched ahead of the dig per connection: enough to keep every connection busy while the
// dig works through a page's thumbnails, few enough that unread bodies stay a few megabytes.
constexpr int kPagesAheadPerConnection = 4;

struct Job {
    Job(QString address, bool isPage) : url(std::move(address)), page(isPage) {}
    enum class Stage { Queued, Running, Done };
    const QString url;
    const bool page;
    Stage stage = Stage::Queued;
    DigFetcher::Outcome outcome = DigFetcher::Outcome::Failed;
    QByteArray body;
    QString error;
    std::exception_ptr exception;
};
using JobPtr = std::shared_ptr<Job>;

std::deque<JobPtr> jobsFor(const QStringList& urls, bool pages) {
    std::deque<JobPtr> jobs;
    for (const QString& url : urls)
        jobs.push_back(std::make_shared<Job>(url, pages));
    return jobs;
}

}  // namespace

struct PrefetchingFetcher::State {
    State(int count, QString scratchFolder, const std::atomic<bool>* flag)
        : connections(count), folder(std::move(scratchFolder)), interrupt(flag) {}

    const int connections;
    const QString folder;
    const std::atomic<bool>* const interrupt;
    std::atomic<bool> closing{false};
    std::atomic<qint64> finished{0};

    std::mutex mutex;
    std::condition_variable work;  // a job may be ready to start
    std::condition_variable done;  // a job has finished
    // Hinted and not yet handed to the dig, in the order the dig will ask for them.
    std::deque<JobPtr> pages;
    std::deque<JobPtr> thumbnails;
    // The one the dig waits for when it is no longer (or never was) in the queues.
    JobPtr demanded;
    std::vector<std::thread> workers;

    // Dig thread only.
    QString lastFailure;
    int failedThumbnails = 0;

    bool interrupted() const { return closing || (interrupt && interrupt->load()); }

    // Under the lock: what a free connection does next, or nothing.
    JobPtr next() {
        if (interrupted())
            return {};
        if (demanded && demanded->stage == Job::Stage::Queued)
            return demanded;
        // One connection fetches only what the dig asks for, in its order.
        if (connections == 1)
            return {};
        const int ahead = connections * kPagesAheadPerConnection;
        const auto queued = [](const JobPtr& job) { return job->stage == Job::Stage::Queued; };
        for (const JobPtr& job : thumbnails)
            if (queued(job))
                return job;
        for (int i = 0; i < ahead && i < int(pages.size()); ++i)
            if (queued(pages[std::size_t(i)]))
                return pages[std::size_t(i)];
        return {};
    }

    void serve(int index) {
        HttpClient client;
        client.setIdleHook([this, &client] {
            if (interrupted())
                client.requestAbort();
        });
        const QString name = QStringLiteral("connection%1.0").arg(index + 1);
        while (true) {
            JobPtr job;
            {
                std::unique_lock lock(mutex);
                work.wait(lock, [&] { return closing || (job = next()); });
                if (closing)
                    return;
                job->stage = Job::Stage::Running;
            }
            auto outcome = DigFetcher::Outcome::Failed;
            QByteArray body;
            QString error;
            std::exception_ptr exception;
            try {
                ScratchFile file(folder, name);
                file.keepCopy();
                client.Get(job->url, file, job->page ? kPageBodyLimit : kThumbnailBodyLimit);
                file.close();
                body = file.copy();
                outcome = DigFetcher::Outcome::Ok;
            } catch (const FetchAborted&) {
                outcome = DigFetcher::Outcome::Aborted;
            } catch (const FetchError& e) {
                error = e.message();
            } catch (...) {
                exception = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                job->stage = Job::Stage::Done;
                job->outcome = outcome;
                job->body = std::move(body);
                job->error = std::move(error);
                job->exception = exception;
            }
            ++finished;
            done.notify_all();
        }
    }
};

PrefetchingFetcher::PrefetchingFetcher(int connections, const QString& scratchFolder,
                                       const std::atomic<bool>* interrupt)
    : d(std::make_unique<State>(std::clamp(connections, 1, kMaxConnections), scratchFolder,
                                interrupt)) {
    for (int i = 0; i < d->connections; ++i)
        d->workers.emplace_back([state = d.get(), i] { state->serve(i); });
}

PrefetchingFetcher::~PrefetchingFetcher() {
    {
        std::lock_guard lock(d->mutex);
        d->closing = true;
    }
    d->work.notify_all();
    for (std::thread& worker : d->workers)
        worker.join();
}

void PrefetchingFetcher::expect(const QStringList& pages, const QStringList& thumbnails) {
    {
        std::lock_guard lock(d->mutex);
        // A new hint means the dig has moved on: what is left of the old one will not be asked for.
        if (!pages.isEmpty())
            d->pages = jobsFor(pages, true);
        d->thumbnails = jobsFor(thumbnails, false);
    }
    d->work.notify_all();
}

DigFetcher::Outcome PrefetchingFetcher::fetchPage(const QString& url, QByteArray& body) {
    return take(url, true, body);
}

DigFetcher::Outcome PrefetchingFetcher::fetchThumbnail(const QString& url, QByteArray& body) {
    const Outcome outcome = take(url, false, body);
    if (outcome == Outcome::Failed)
        ++d->failedThumbnails;
    return outcome;
}

DigFetcher::Outcome PrefetchingFetcher::take(const QString& url, bool page, QByteArray& body) {
    std::unique_lock lock(d->mutex);
    if (d->interrupted())
        return Outcome::Aborted;
    std::deque<JobPtr>& queue = page ? d->pages : d->thumbnails;
    const auto found = std::find_if(queue.begin(), queue.end(),
                                    [&](const JobPtr& job) { return job->url == url; });
    JobPtr job;
    if (found != queue.end()) {
        job = *found;
        // Hinted ones before it were passed over and will not be asked for.
        queue.erase(queue.begin(), found + 1);
    } else {
        job = std::make_shared<Job>(url, page);
    }
    if (job->stage == Job::Stage::Queued)
        d->demanded = job;
    // Taking a page out of the queue also leaves room for one more ahead.
    d->work.notify_all();
    while (job->stage != Job::Stage::Done) {
        if (d->interrupted())
            return Outcome::Aborted;
        d->done.wait_for(lock, kInterruptPoll);
    }
    if (d->demanded == job)
        d->demanded.reset();
    if (job->exception)
        std::rethrow_exception(job->exception);
    if (job->outcome == Outcome::Ok)
        body = std::move(job->body);
    else if (job->outcome == Outcome::Failed)
        d->lastFailure = job->error;
    return job->outcome;
}

qint64 PrefetchingFetcher::fetchesDone() const {
    return d->finished.load();
}

QString PrefetchingFetcher::lastFailure() const {
    return d->lastFailure;
}

int PrefetchingFetcher::failedThumbnails() const {
    return d->failedThumbnails;
}
