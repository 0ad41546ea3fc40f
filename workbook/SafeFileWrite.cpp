#include "XlsWriter.h"

// Saving to a file: the container is written to a temporary file in the
// target's folder, flushed to the disk and renamed over the target, so a
// failed save leaves no file behind and an existing target untouched.

#include <fcntl.h>
#include <gsf/gsf-output-stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "EngineErrors.h"
#include "OleWriter.h"
#include "PlatformError.h"
#include "XlsWriterParts.h"

namespace xls {
namespace {

// A FILE over a descriptor that remembers the first failing errno, so a
// full disk is told apart from other failures.
struct FdCookie {
    int fd = -1;
    int error = 0;
    std::size_t unsent = 0;  // bytes written since the disk was last asked to take them
};

// Every few megabytes the disk is asked to start on what has been written,
// so that the flush at the end finds most of the file there already.
constexpr std::size_t kWriteBehind = 4u << 20;

ssize_t cookieWrite(void* c, const char* buf, size_t size) {
    auto* cookie = static_cast<FdCookie*>(c);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(cookie->fd, buf + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (cookie->error == 0)
                cookie->error = errno;
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        done += static_cast<size_t>(n);
    }
    cookie->unsent += done;
    if (cookie->unsent >= kWriteBehind) {
        cookie->unsent = 0;
        // Only a hint: the fsync before the rename still decides.
        ::sync_file_range(cookie->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    return static_cast<ssize_t>(done);
}

int cookieSeek(void* c, off64_t* offset, int whence) {
    auto* cookie = static_cast<FdCookie*>(c);
    const off64_t at = ::lseek64(cookie->fd, *offset, whence);
    if (at < 0) {
        if (cookie->error == 0)
            cookie->error = errno;
        return -1;
    }
    *offset = at;
    return 0;
}

int cookieClose(void*) {
    return 0;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

PlatformError saveError(int err, const std::string& path) {
    const std::string head = "'" + path + "' に保存できません。";
    switch (err) {
        case ENOSPC:
        case EFBIG:
        case EDQUOT:
            return PlatformError(kErrDiskFull, head + "ディスクの空き領域が不足しています。");
        case ENOENT:
        case ENOTDIR:
            return PlatformError(kErrFileAccess, head + "保存先のフォルダー '" + folderOf(path) +
                                                     "' が見つかりません。");
        case EACCES:
        case EPERM:
            return PlatformError(kErrFileAccess, head + "書き込みが許可されていません。");
        case EROFS:
            return PlatformError(kErrFileAccess, head + "読み取り専用の場所です。");
        case EISDIR:
            return PlatformError(kErrFileAccess, head + "同じ名前のフォルダーがあります。");
        case ENAMETOOLONG:
            return PlatformError(kErrFileAccess, head + "パスが長すぎます。");
        default:
            return PlatformError(kErrFileAccess,
                                 head + "(システムエラー " + std::to_string(err) + ")");
    }
}

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Removes the temporary file unless the save went through.
struct TempFile {
    std::string path;
    int fd = -1;
    bool keep = false;
    ~TempFile() {
        if (fd >= 0)
            ::close(fd);
        if (!keep && !path.empty())
            ::unlink(path.c_str());
    }
};

}  // namespace

void WriteXlsFile(const Workbook& book, const std::string& path) {
    if (path.empty())
        throw PlatformError(kErrFileAccess, "保存先のファイル名がありません。");
    if (book.sheetCount() == 0)
        throw PlatformError(kErrGeneral, "シートが 1 枚もないブックは保存できません。");
    initGsf();

    struct stat target {};
    const bool exists = ::stat(path.c_str(), &target) == 0;
    if (exists && S_ISDIR(target.st_mode))
        throw saveError(EISDIR, path);

    const std::string folder = folderOf(path);
    const std::string base =
        path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    TempFile temp;
    std::string pattern = folder + "/." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    temp.fd = ::mkstemp(name.data());
    if (temp.fd < 0)
        throw saveError(errno, path);
    temp.path = name.data();

    mode_t mode;
    if (exists) {
        mode = target.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(temp.fd, mode);

    FdCookie cookie{temp.fd, 0};
    cookie_io_functions_t io{nullptr, cookieWrite, cookieSeek, cookieClose};
    // Closed here, or when the book turns out not to be writable half-way
    // (before the temporary file goes).
    std::unique_ptr<FILE, FileClose> file(::fopencookie(&cookie, "w+", io));
    if (!file)
        throw saveError(errno, path);
    bool ok;
    {
        // The stream is written into the file as it is made; a book that
        // cannot be written throws, and the temporary file is removed.
        GPtr<GsfOutput> sink(gsf_output_stdio_new_FILE(temp.path.c_str(), file.get(), TRUE));
        ok = sink && writeContainer(sink.get(), book);
    }
    ok = std::fflush(file.get()) == 0 && ok;
    ok = std::fclose(file.release()) == 0 && ok;
    if (!ok || cookie.error != 0)
        throw saveError(cookie.error != 0 ? cookie.error : EIO, path);
    if (::fsync(temp.fd) != 0)
        throw saveError(errno, path);
    if (::close(temp.fd) != 0) {
        temp.fd = -1;
        throw saveError(errno, path);
    }
    temp.fd = -1;
    if (::rename(temp.path.c_str(), path.c_str()) != 0)
        throw saveError(errno, path);
    temp.keep = true;
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace xls
