#pragma once
// Members of a zip package (.xlsx, .ods) read through libgsf's zip reader:
// the package is opened once, and each member is handed over in inflated
// pieces, so that a sheet of a hundred megabytes never sits in memory whole.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace xls::zip {

class ZipPackage {
  public:
    // Throws PlatformError: file missing or unreadable, or no zip archive.
    explicit ZipPackage(const std::string& path);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    const std::string& path() const { return path_; }
    // A member by its path in the package ("xl/workbook.xml").
    bool has(const std::string& member) const;
    // The member's inflated size as the package's directory gives it.
    std::optional<std::uint64_t> size(const std::string& member) const;
    // Hands the member's bytes to `piece` in order; false when there is no
    // such member. Throws PlatformError when it cannot be inflated.
    bool read(const std::string& member,
              const std::function<void(const std::uint8_t*, std::size_t)>& piece) const;
    // Reads the member through `pull`, which is handed a function that fills
    // a buffer and returns the bytes it gave (0 at the end); false when there
    // is no such member. A large member is inflated on a thread of its own
    // ahead of the reader unless `ahead` is false (a reader that keeps both
    // cores busy itself).
    using Fill = std::function<std::size_t(std::uint8_t*, std::size_t)>;
    bool pull(const std::string& member, const std::function<void(const Fill&)>& reader,
              bool ahead = true) const;
    // A small member whole (at most `limit` bytes are kept).
    std::string readText(const std::string& member, std::size_t limit = 1u << 20) const;

  private:
    struct Handles;
    std::string path_;
    std::unique_ptr<Handles> handles_;
};

}  // namespace xls::zip
