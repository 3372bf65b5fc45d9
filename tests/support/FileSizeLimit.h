#pragma once
// Lowers the process's file size limit while the object lives, so that a
// write past it fails with "File too large" for every user, root included.
// Used to make the working file fail on demand and recover again.

#include <csignal>
#include <sys/resource.h>

class FileSizeLimit
{
public:
    /// Files may not grow beyond `bytes` until lift() or destruction.
    explicit FileSizeLimit(rlim_t bytes)
    {
        // The default action of the limit's signal ends the process; the
        // failing write should only return an error.
        std::signal(SIGXFSZ, SIG_IGN);
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
            return;
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    /// Restores the previous limit.
    void lift()
    {
        if (m_active)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
        m_active = false;
    }

    bool isActive() const { return m_active; }

private:
    rlimit m_saved{};
    bool m_active = false;
};
