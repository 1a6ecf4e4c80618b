// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class QString;

// Makes a rename inside folder durable: after a power cut the folder lists the new file, not
// the old one or none. False when the system refused (errno tells why); true where there is
// nothing to do.
bool syncFolder(const QString &folder);

// Puts the data written to an open file on the disk (not its times): what was appended before
// survives a power cut. False, with errno's text in *error, when the system refuses.
bool syncFileData(int fd, QString *error);

// The same on a thread of its own, so that a slow disk never holds up the window: request()
// returns at once and the data reaches the disk a moment later. Requests made while one is
// running collapse into one. Failures are logged.
class BackgroundDataSync
{
public:
    BackgroundDataSync();
    ~BackgroundDataSync(); // finishes what was asked first
    BackgroundDataSync(const BackgroundDataSync &) = delete;
    BackgroundDataSync &operator=(const BackgroundDataSync &) = delete;

    // The file may be closed right after: the thread works on a duplicate of fd.
    void request(int fd);
    // Blocks until every request so far is on the disk.
    void waitIdle();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    int m_pending = -1;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};
