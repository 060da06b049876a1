#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

/// Runs fn in a forked child and returns its exit status (0..255), or -1 when the child had not
/// ended within nSeconds and was killed. Lets a test of something that may block for ever, or
/// read without end, fail instead of hanging; fn must not use GoogleTest assertions.
inline int RunInChildWithDeadline(const std::function<int()>& fn, int nSeconds) {
    const pid_t pid = fork();
    if (pid < 0)
        return -2;
    if (pid == 0)
        _exit(fn());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
    for (;;) {
        int nStatus = 0;
        const pid_t got = waitpid(pid, &nStatus, WNOHANG);
        if (got == pid)
            return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -3;
        if (got < 0)
            return -2;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &nStatus, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

/// Special files every "regular files only" test refuses: a named pipe, a character device and
/// links to each. Made in strDir; entries whose file could not be made are left out.
struct SSpecialFile {
    const char* m_pszName;
    std::string m_strPath;
};

inline std::vector<SSpecialFile> MakeSpecialFiles(const std::string& strDir) {
    std::vector<SSpecialFile> files;
    const std::string strFifo = strDir + "/pipe.csv";
    if (mkfifo(strFifo.c_str(), 0600) == 0) {
        files.push_back({"named pipe", strFifo});
        const std::string strLink = strDir + "/link-to-pipe.csv";
        if (symlink(strFifo.c_str(), strLink.c_str()) == 0)
            files.push_back({"link to a named pipe", strLink});
    }
    if (access("/dev/zero", R_OK) == 0) {
        files.push_back({"character device", "/dev/zero"});
        const std::string strLink = strDir + "/link-to-zero.csv";
        if (symlink("/dev/zero", strLink.c_str()) == 0)
            files.push_back({"link to a character device", strLink});
    }
    return files;
}
