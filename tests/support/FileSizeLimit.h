#pragma once

#include <sys/resource.h>

#include <csignal>

// While it lives, no file of this process may grow past `bytes`: writes fail as on a full disk
// (EFBIG, the signal that would come with it ignored). Every thread is bound by it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &m_signal);
        ::getrlimit(RLIMIT_FSIZE, &m_limit);
        rlimit small = m_limit;
        small.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_limit);
        ::sigaction(SIGXFSZ, &m_signal, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit took effect.
    bool IsSet() const { return m_set; }

private:
    struct sigaction m_signal {};
    rlimit m_limit{};
    bool m_set = false;
};
