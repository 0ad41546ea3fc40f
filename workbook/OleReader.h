#pragma once
// Container access for .xls files: recognises what a file is before anything
// is parsed, and pulls the BIFF stream ("Workbook", else "Book") out of the
// OLE2 compound file with libgsf.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xls::ole {

enum class FileKind {
    Empty,
    Cfb,      // OLE2 compound file: the only kind that can hold BIFF8
    Zip,      // .xlsx (or any zip) renamed
    Markup,   // HTML or XML (SpreadsheetML) renamed
    OldBiff,  // BIFF2-4 worksheet stored without a container
    RawBiff,  // BIFF5/8 stream stored without a container (BOF 0x0809 at byte 0)
    Unknown,
};

FileKind Sniff(const std::uint8_t* data, std::size_t size);

// Bytes of a whole file or stream. Buffers of megabytes are mapped with huge
// pages where the system allows and filled in one go: on the two-core test
// machine a 35 MB workbook otherwise spent more time in page faults than in
// parsing.
class ByteBuffer {
  public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::size_t size);
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer();

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Shortens the visible size (the mapping stays as it is).
    void shrink(std::size_t size) {
        if (size < size_) {
            size_ = size;
        }
    }

  private:
    void release() noexcept;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;  // 0: heap block (or nothing)
};

// Reads a whole file. Throws PlatformError: kErrFileNotFound, kErrFileAccess.
ByteBuffer ReadWholeFile(const std::string& path);

struct BiffStream {
    ByteBuffer bytes;
    std::string name;         // as stored in the directory ("Workbook", "BOOK", ...)
    bool isWorkbook = false;  // "Workbook" (BIFF8) rather than "Book" (BIFF5/7)
};

// Opens the compound file held in memory and copies its BIFF stream out.
// Throws PlatformError: not a compound file, damaged container, encrypted
// .xlsx (EncryptedPackage), or no workbook stream.
BiffStream ExtractBiffStream(const std::uint8_t* data, std::size_t size);
// The same read from the file: nothing when the file cannot be opened or is
// no compound file (the caller reads it whole and says why); throws as above.
std::optional<BiffStream> ExtractBiffStreamFromFile(const std::string& path);

// Case-insensitive ASCII comparison, as the compound-file directory compares names.
bool SameStreamName(const char* a, const char* b);

}  // namespace xls::ole
