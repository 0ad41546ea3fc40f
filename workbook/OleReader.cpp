#include "OleReader.h"

#include <fcntl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "BiffReaderErrors.h"
#include "GsfHandles.h"

namespace xls::ole {
namespace {

bool StartsWithNoCase(const std::uint8_t* data, std::size_t size, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    if (size < n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = data[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<unsigned char>(c - 'A' + 'a');
        }
        if (c != static_cast<unsigned char>(prefix[i])) {
            return false;
        }
    }
    return true;
}

constexpr std::size_t kMapThreshold = 4u << 20;

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

ByteBuffer::ByteBuffer(std::size_t size) : size_(size) {
    if (size == 0) {
        return;
    }
    if (size >= kMapThreshold) {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
            ::madvise(p, size, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
            ::madvise(p, size, MADV_POPULATE_WRITE);  // best effort: faults in one call
#endif
            data_ = static_cast<std::uint8_t*>(p);
            mapped_ = size;
            return;
        }
    }
    data_ = static_cast<std::uint8_t*>(std::malloc(size));
    if (data_ == nullptr) {
        throw std::bad_alloc();
    }
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(other.data_), size_(other.size_), mapped_(other.mapped_) {
    other.data_ = nullptr;
    other.size_ = 0;
    other.mapped_ = 0;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = other.data_;
        size_ = other.size_;
        mapped_ = other.mapped_;
        other.data_ = nullptr;
        other.size_ = 0;
        other.mapped_ = 0;
    }
    return *this;
}

ByteBuffer::~ByteBuffer() {
    release();
}

void ByteBuffer::release() noexcept {
    if (data_ != nullptr) {
        if (mapped_ != 0) {
            ::munmap(data_, mapped_);
        } else {
            std::free(data_);
        }
    }
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

ByteBuffer ReadWholeFile(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw PlatformError(kErrFileNotFound, "ファイルが見つかりません（" + path + "）");
        }
        throw PlatformError(kErrFileAccess, "ファイルを開けません（" + path + "）");
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw PlatformError(kErrFileAccess, "ファイルを開けません（" + path + "）");
    }
    ByteBuffer buffer(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < buffer.size()) {
        ssize_t n = ::read(fd.get(), buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw PlatformError(kErrFileAccess, "ファイルを読み込めません（" + path + "）");
        }
        if (n == 0) {
            break;  // the file shrank meanwhile: read what is there
        }
        done += static_cast<std::size_t>(n);
    }
    buffer.shrink(done);
    return buffer;
}

bool SameStreamName(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x >= 'a' && x <= 'z') {
            x = static_cast<unsigned char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<unsigned char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
        if (x == 0) {
            return true;
        }
    }
}

FileKind Sniff(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kCfbMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (size == 0) {
        return FileKind::Empty;
    }
    if (size >= 8 && std::memcmp(data, kCfbMagic, 8) == 0) {
        return FileKind::Cfb;
    }
    if (size >= 2 && data[0] == 'P' && data[1] == 'K') {
        return FileKind::Zip;
    }
    // A BIFF2-4 file starts with its BOF record: id 0x0009/0x0209/0x0409, then a
    // small length.
    if (size >= 4 && (data[0] == 0x09) && (data[1] == 0x00 || data[1] == 0x02 || data[1] == 0x04) &&
        data[3] == 0x00 && data[2] >= 4 && data[2] <= 16) {
        return FileKind::OldBiff;
    }
    if (size >= 4 && data[0] == 0x09 && data[1] == 0x08 && data[3] == 0x00 && data[2] >= 8 &&
        data[2] <= 20) {
        return FileKind::RawBiff;
    }
    // Markup saved under .xls: skip a UTF-8 byte order mark and leading blanks.
    std::size_t i = 0;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        i = 3;
    }
    while (i < size && i < 1024 &&
           (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) {
        ++i;
    }
    const std::uint8_t* p = data + i;
    std::size_t rest = size - i;
    if (StartsWithNoCase(p, rest, "<html") || StartsWithNoCase(p, rest, "<?xml") ||
        StartsWithNoCase(p, rest, "<!doctype") || StartsWithNoCase(p, rest, "<table") ||
        StartsWithNoCase(p, rest, "<meta")) {
        return FileKind::Markup;
    }
    return FileKind::Unknown;
}

namespace {

BiffStream ExtractFromContainer(GsfInput* container, std::size_t size) {
    GErrorOwner error;
    GRef<GsfInfile> ole(gsf_infile_msole_new(container, error.out()));
    if (!ole) {
        biff::ThrowDamaged("OLE2 コンテナの構造が不正です");
    }

    int count = gsf_infile_num_children(ole.get());
    int workbookIndex = -1;
    int bookIndex = -1;
    bool encryptedPackage = false;
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(ole.get(), i);
        if (SameStreamName(name, "Workbook")) {
            if (workbookIndex < 0) {
                workbookIndex = i;
            }
        } else if (SameStreamName(name, "Book")) {
            if (bookIndex < 0) {
                bookIndex = i;
            }
        } else if (SameStreamName(name, "EncryptedPackage") ||
                   SameStreamName(name, "EncryptionInfo")) {
            encryptedPackage = true;
        }
    }
    if (workbookIndex < 0 && bookIndex < 0) {
        if (encryptedPackage) {
            // A password-protected .xlsx is stored in a compound file too.
            biff::ThrowEncrypted();
        }
        biff::ThrowNotXls("ブックのデータ（Workbook ストリーム）がありません");
    }

    BiffStream stream;
    int index = workbookIndex >= 0 ? workbookIndex : bookIndex;
    stream.isWorkbook = workbookIndex >= 0;
    const char* name = gsf_infile_name_by_index(ole.get(), index);
    stream.name = name != nullptr ? name : "";
    GRef<GsfInput> child(gsf_infile_child_by_index(ole.get(), index));
    if (!child) {
        biff::ThrowDamaged("Workbook ストリームを開けません");
    }
    gsf_off_t streamSize = gsf_input_size(child.get());
    // The directory's size is not trusted for allocation: a stream cannot be
    // larger than the file that holds it.
    if (streamSize < 0 || static_cast<std::uint64_t>(streamSize) > size) {
        biff::ThrowDamaged("Workbook ストリームの大きさが不正です");
    }
    stream.bytes = ByteBuffer(static_cast<std::size_t>(streamSize));
    if (streamSize > 0 && gsf_input_read(child.get(), static_cast<std::size_t>(streamSize),
                                         stream.bytes.data()) == nullptr) {
        biff::ThrowDamaged("Workbook ストリームを最後まで読めません");
    }
    return stream;
}

}  // namespace

BiffStream ExtractBiffStream(const std::uint8_t* data, std::size_t size) {
    InitGsfOnce();
    QuietGsfLog quiet;
    GRef<GsfInput> input(gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE));
    if (!input) {
        biff::ThrowDamaged("コンテナを開けません");
    }
    return ExtractFromContainer(input.get(), size);
}

std::optional<BiffStream> ExtractBiffStreamFromFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::uint8_t magic[8] = {};
    const bool container = std::fread(magic, 1, sizeof magic, file) == sizeof magic &&
                           Sniff(magic, sizeof magic) == FileKind::Cfb &&
                           std::fseek(file, 0, SEEK_SET) == 0;
    struct stat info {};
    if (!container || ::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return std::nullopt;
    }
    InitGsfOnce();
    QuietGsfLog quiet;
    // The input closes the file when it goes.
    GRef<GsfInput> input(gsf_input_stdio_new_FILE(path.c_str(), file, FALSE));
    if (!input) {
        std::fclose(file);
        biff::ThrowDamaged("コンテナを開けません");
    }
    return ExtractFromContainer(input.get(), static_cast<std::size_t>(info.st_size));
}

}  // namespace xls::ole
