#pragma once
// Makes writes fail part way while an old file stays: the tests run as root, so permissions
// would not stop a write, but a file size limit binds root too. SIGXFSZ is ignored for as long
// as the limit holds, so the write gets EFBIG instead of ending the test.

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

struct FileSizeLimit
{
    rlimit saved{};
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    bool ok = getrlimit(RLIMIT_FSIZE, &saved) == 0;
    explicit FileSizeLimit(rlim_t bytes)
    {
        rlimit low = saved;
        low.rlim_cur = std::min(bytes, saved.rlim_max);
        ok = ok && setrlimit(RLIMIT_FSIZE, &low) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};
