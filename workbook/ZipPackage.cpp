#include "ZipPackage.h"

#include <gsf/gsf-infile-zip.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "BiffReaderErrors.h"
#include "GsfHandles.h"

namespace xls::zip {

using ole::GErrorOwner;
using ole::GRef;

// The zip reader holds its own reference of the file's input.
struct ZipPackage::Handles {
    explicit Handles(GsfInfile* infile) : zip(infile) {}
    GRef<GsfInfile> zip;
};

namespace {

// The member's input, or null; walks the package's folders one name at a time.
GsfInput* OpenMember(GsfInfile* root, const std::string& member) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= member.size()) {
        const std::size_t slash = member.find('/', start);
        const std::size_t end = slash == std::string::npos ? member.size() : slash;
        if (end > start)
            names.emplace_back(member, start, end - start);
        start = end + 1;
    }
    if (names.empty())
        return nullptr;
    std::vector<const char*> list;
    for (const std::string& name : names)
        list.push_back(name.c_str());
    list.push_back(nullptr);
    return gsf_infile_child_by_aname(root, list.data());
}

}  // namespace

ZipPackage::ZipPackage(const std::string& path) : path_(path) {
    ole::InitGsfOnce();
    ole::QuietGsfLog quiet;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw PlatformError(kErrFileNotFound, "ファイルが見つかりません（" + path + "）");
        throw PlatformError(kErrFileAccess, "ファイルを開けません（" + path + "）");
    }
    if (!S_ISREG(info.st_mode))
        throw PlatformError(kErrFileAccess, "ファイルを開けません（" + path + "）");
    GErrorOwner error;
    const GRef<GsfInput> file(gsf_input_stdio_new(path.c_str(), error.out()));
    if (!file)
        throw PlatformError(kErrFileAccess, "ファイルを開けません（" + path + "）");
    GErrorOwner zipError;
    GsfInfile* zip = gsf_infile_zip_new(file.get(), zipError.out());
    if (zip == nullptr)
        biff::ThrowDamaged("zip 形式の目次を読めません");
    handles_ = std::make_unique<Handles>(zip);
}

ZipPackage::~ZipPackage() = default;

bool ZipPackage::has(const std::string& member) const {
    ole::QuietGsfLog quiet;
    GRef<GsfInput> input(OpenMember(handles_->zip.get(), member));
    return static_cast<bool>(input);
}

std::optional<std::uint64_t> ZipPackage::size(const std::string& member) const {
    ole::QuietGsfLog quiet;
    GRef<GsfInput> input(OpenMember(handles_->zip.get(), member));
    if (!input)
        return std::nullopt;
    return static_cast<std::uint64_t>(gsf_input_size(input.get()));
}

bool ZipPackage::read(const std::string& member,
                      const std::function<void(const std::uint8_t*, std::size_t)>& piece) const {
    ole::QuietGsfLog quiet;
    GRef<GsfInput> input(OpenMember(handles_->zip.get(), member));
    if (!input)
        return false;
    constexpr gsf_off_t kPiece = 256 * 1024;
    for (gsf_off_t left = gsf_input_size(input.get()); left > 0;) {
        const gsf_off_t n = left < kPiece ? left : kPiece;
        const guint8* bytes = gsf_input_read(input.get(), static_cast<std::size_t>(n), nullptr);
        if (bytes == nullptr)
            biff::ThrowDamaged("zip の「" + member + "」を展開できません");
        piece(bytes, static_cast<std::size_t>(n));
        left -= n;
    }
    return true;
}

namespace {

// Inflates a large member on a thread of its own, a few pieces ahead of the
// parser that consumes it: inflating is a tenth of reading a sheet, done on
// the second core meanwhile.
class ReadAhead {
  public:
    ReadAhead(GsfInput* input, gsf_off_t size) : input_(input), left_(size) {
        thread_ = std::thread([this] { produce(); });
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    ~ReadAhead() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Up to `size` bytes into `out`; 0 at the end; false when inflating failed.
    bool fill(std::uint8_t* out, std::size_t size, std::size_t& given) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !filled_.empty() || done_; });
        if (filled_.empty()) {
            given = 0;
            return !failed_;
        }
        Piece& piece = filled_.front();
        given = std::min(size, piece.size - offset_);
        std::memcpy(out, piece.bytes.get() + offset_, given);
        offset_ += given;
        if (offset_ == piece.size) {
            spare_.push_back(std::move(piece));
            filled_.pop_front();
            offset_ = 0;
            changed_.notify_all();
        }
        return true;
    }

  private:
    static constexpr std::size_t kPiece = 1u << 20;
    static constexpr std::size_t kAhead = 4;

    // Not cleared when made: inflating fills it.
    struct Piece {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size = 0;
    };

    void produce() {
        while (left_ > 0) {
            Piece piece;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return stop_ || filled_.size() < kAhead; });
                if (stop_)
                    break;
                if (!spare_.empty()) {
                    piece = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            const auto n = static_cast<std::size_t>(
                std::min<gsf_off_t>(left_, static_cast<gsf_off_t>(kPiece)));
            if (!piece.bytes)
                piece.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece);
            piece.size = n;
            const bool ok = gsf_input_read(input_, n, piece.bytes.get()) != nullptr;
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!ok) {
                failed_ = true;
                break;
            }
            left_ -= static_cast<gsf_off_t>(n);
            filled_.push_back(std::move(piece));
            changed_.notify_all();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }

    GsfInput* input_;
    gsf_off_t left_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> filled_;
    std::vector<Piece> spare_;
    std::size_t offset_ = 0;
    bool stop_ = false;
    bool done_ = false;
    bool failed_ = false;
    std::thread thread_;
};

}  // namespace

bool ZipPackage::pull(const std::string& member, const std::function<void(const Fill&)>& reader,
                      bool ahead) const {
    ole::QuietGsfLog quiet;
    GRef<GsfInput> input(OpenMember(handles_->zip.get(), member));
    if (!input)
        return false;
    gsf_off_t left = gsf_input_size(input.get());
    const auto damaged = [&] { biff::ThrowDamaged("zip の「" + member + "」を展開できません"); };
    if (ahead && left >= (gsf_off_t{8} << 20)) {
        ReadAhead inflater(input.get(), left);
        reader([&](std::uint8_t* buffer, std::size_t size) -> std::size_t {
            std::size_t given = 0;
            if (!inflater.fill(buffer, size, given))
                damaged();
            return given;
        });
        return true;
    }
    reader([&](std::uint8_t* buffer, std::size_t size) -> std::size_t {
        const auto n =
            static_cast<std::size_t>(std::min<gsf_off_t>(left, static_cast<gsf_off_t>(size)));
        if (n == 0)
            return 0;
        if (gsf_input_read(input.get(), n, buffer) == nullptr)
            damaged();
        left -= static_cast<gsf_off_t>(n);
        return n;
    });
    return true;
}

std::string ZipPackage::readText(const std::string& member, std::size_t limit) const {
    std::string text;
    read(member, [&](const std::uint8_t* bytes, std::size_t size) {
        if (text.size() < limit)
            text.append(reinterpret_cast<const char*>(bytes), std::min(size, limit - text.size()));
    });
    return text;
}

}  // namespace xls::zip
