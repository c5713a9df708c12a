#pragma once
// The one contract of the three downloaders: built with (callback, address, target path),
// one operation that starts an attempt on the downloader's own worker and returns at once.
// Outcomes reach the owner only as events (utils/InstallEvents.h), on that worker.

class CDownloader {
public:
    CDownloader() = default;
    virtual ~CDownloader() = default;
    CDownloader(const CDownloader&) = delete;
    CDownloader& operator=(const CDownloader&) = delete;

    virtual void Start() = 0;
};
