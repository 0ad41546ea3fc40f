#pragma once
// Faults at the operating-system boundary for tests: temporary folders (whose
// modes may be changed: they are removed all the same), child processes that hold locks, lose
// privileges, hit a file-size limit or are killed, and pipes to step them.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace faulttest {

// ---- files ------------------------------------------------------------------

using Folder = TempFolder;

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// ---- processes --------------------------------------------------------------

// Starts `body` in a child process. The child never returns into the test
// framework and runs no destructor of the parent's objects. An SQLite
// connection must never cross a fork, so the parent holds none to the files
// the child uses, and no thread runs beside the forking one.
inline pid_t StartChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        std::abort();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        ::_exit(code);
    }
    return pid;
}

// The child's wait status.
inline int WaitChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

inline int RunInChild(const std::function<int()>& body) {
    return WaitChild(StartChild(body));
}

inline bool ExitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// Running as root, file permissions stop nothing: the child becomes the
// unprivileged user "nobody" (65534) so that a read-only file or folder is
// read-only to it. False when that is not possible.
inline bool DropPrivileges() {
    if (::geteuid() != 0)
        return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0 &&
           ::geteuid() == 65534;
}

// Texts of message boxes passed from a child to its parent through a file.
inline std::vector<std::string> LoadTexts(const std::string& path) {
    std::vector<std::string> out;
    std::string all = ReadBytes(path);
    std::size_t start = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\x1e') {
            out.push_back(all.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

// A pipe for one-byte signals between parent and child.
struct Pipe {
    Pipe() {
        if (::pipe(fd) != 0)
            std::abort();
    }
    ~Pipe() {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void send() const {
        const char c = 1;
        if (::write(fd[1], &c, 1) != 1)
            std::abort();
    }
    // False on end of file (the other side has gone).
    bool receive() const {
        char c = 0;
        for (;;) {
            const ssize_t n = ::read(fd[0], &c, 1);
            if (n == 1)
                return true;
            if (n == 0 || errno != EINTR)
                return false;
        }
    }
    int fd[2] = {-1, -1};
};

// The texts joined for passing through a file descriptor.
inline bool WriteTexts(int fd, const std::vector<std::string>& texts) {
    std::string all;
    for (const auto& t : texts)
        all += t + '\x1e';
    return ::write(fd, all.data(), all.size()) == static_cast<ssize_t>(all.size());
}

}  // namespace faulttest
