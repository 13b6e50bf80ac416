#pragma once

#include <QtGlobal>

#include <chrono>

// Largest bodies a fetch takes. A real watch page or home page is a few megabytes, a thumbnail a
// few kilobytes and the remote configuration three lines; a server that sends more is broken or
// hostile, and the fetch fails instead of filling the disk and the memory.
constexpr qint64 kPageBodyLimit = 32 * 1024 * 1024;
constexpr qint64 kThumbnailBodyLimit = 16 * 1024 * 1024;
constexpr qint64 kConfigBodyLimit = 1024 * 1024;

// Time limits of one fetch. The connect limit bounds the name lookup and the connect each; the
// idle limit bounds every wait for the server; the fetch limit bounds the whole fetch, from the
// start of the lookup to the last byte, so that a server trickling bytes cannot hold it.
constexpr std::chrono::milliseconds kConnectTimeLimit{30'000};
constexpr std::chrono::milliseconds kIdleTimeLimit{60'000};
constexpr std::chrono::milliseconds kFetchTimeLimit{120'000};
