#include "ZipPackage.h"

#include <gsf/gsf-infile-zip.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
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

bool ZipPackage::pull(const std::string& member,
                      const std::function<void(const Fill&)>& reader) const {
    ole::QuietGsfLog quiet;
    GRef<GsfInput> input(OpenMember(handles_->zip.get(), member));
    if (!input)
        return false;
    gsf_off_t left = gsf_input_size(input.get());
    reader([&](std::uint8_t* buffer, std::size_t size) -> std::size_t {
        const auto n =
            static_cast<std::size_t>(std::min<gsf_off_t>(left, static_cast<gsf_off_t>(size)));
        if (n == 0)
            return 0;
        if (gsf_input_read(input.get(), n, buffer) == nullptr)
            biff::ThrowDamaged("zip の「" + member + "」を展開できません");
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
