// Preloaded into a test (LD_PRELOAD): fdatasync() fails with EIO as many
// times as QDR_FDATASYNC_EIO says, then works again. Lets a test meet a disk
// that refuses to sync without a broken disk.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

extern "C" int fdatasync(int fd)
{
    using Sync = int (*)(int);
    static const Sync real = reinterpret_cast<Sync>(::dlsym(RTLD_NEXT, "fdatasync"));
    const char *left = std::getenv("QDR_FDATASYNC_EIO");
    const int failures = left ? std::atoi(left) : 0;
    if (failures > 0) {
        char next[16];
        std::snprintf(next, sizeof next, "%d", failures - 1);
        ::setenv("QDR_FDATASYNC_EIO", next, 1);
        errno = EIO;
        return -1;
    }
    return real(fd);
}
