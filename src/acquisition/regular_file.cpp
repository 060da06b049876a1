#include "acquisition/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int OpenRegularFileForReading(const char* pszPath) {
    if (pszPath == nullptr || pszPath[0] == '\0') {
        errno = ENOENT;
        return -1;
    }
    struct stat st;
    // Looked at before opening because opening some devices already acts (a serial line raises
    // its modem lines, a tape rewinds).
    if (::stat(pszPath, &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    int nFd;
    do {
        nFd = ::open(pszPath, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (nFd < 0 && errno == EINTR);
    if (nFd < 0)
        return -1;
    if (::fstat(nFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(nFd);
        errno = EINVAL;
        return -1;
    }
    const int nFlags = ::fcntl(nFd, F_GETFL);
    if (nFlags != -1)
        ::fcntl(nFd, F_SETFL, nFlags & ~O_NONBLOCK);
    return nFd;
}
