#include "XlsReader.h"

#include <new>

#include "BiffReaderErrors.h"
#include "OleReader.h"
#include "XlsBookReader.h"

namespace xls {
namespace reading {

std::unique_ptr<Workbook> BookReader::read() {
    book_ = std::make_unique<Workbook>();
    readGlobals();
    resolveFormats();
    readSheets();
    return std::move(book_);
}

}  // namespace reading

namespace {

using namespace biff;
using reading::BookReader;

std::unique_ptr<Workbook> ReadStream(const std::uint8_t* stream, std::size_t size,
                                     bool workbookStream) {
    try {
        return BookReader(stream, size, workbookStream).read();
    } catch (const PlatformError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw PlatformError(kErrLimit, "メモリが不足しているためブックを読み込めません");
    } catch (const std::exception& e) {
        ThrowDamaged(e.what());
    }
}

}  // namespace

std::unique_ptr<Workbook> ReadXlsFromMemory(const std::uint8_t* data, std::size_t size) {
    switch (ole::Sniff(data, size)) {
        case ole::FileKind::Empty:
            ThrowNotXls("ファイルが空です。");
        case ole::FileKind::Zip:
            ThrowNotXls(
                "Excel 2007 以降の形式（.xlsx）のファイルです。表計算ソフトで Excel 97-2003 "
                "形式で保存し直してください。");
        case ole::FileKind::Markup:
            ThrowNotXls(
                "HTML または XML 形式のファイルです。表計算ソフトで Excel 97-2003 "
                "形式で保存し直してください。");
        case ole::FileKind::OldBiff:
            ThrowBiff2to4();
        case ole::FileKind::RawBiff:
            return ReadStream(data, size, true);
        case ole::FileKind::Cfb: {
            ole::BiffStream stream = ole::ExtractBiffStream(data, size);
            return ReadStream(stream.bytes.data(), stream.bytes.size(), stream.isWorkbook);
        }
        case ole::FileKind::Unknown:
        default:
            ThrowNotXls();
    }
}

std::unique_ptr<Workbook> ReadXlsFile(const std::string& path) {
    // A compound file's stream is read from the file itself: a copy of the
    // whole file beside it was tens of megabytes of fresh memory, which
    // costs more to come by than the reading.
    if (std::optional<ole::BiffStream> stream = ole::ExtractBiffStreamFromFile(path)) {
        return ReadStream(stream->bytes.data(), stream->bytes.size(), stream->isWorkbook);
    }
    ole::ByteBuffer file = ole::ReadWholeFile(path);
    return ReadXlsFromMemory(file.data(), file.size());
}

}  // namespace xls
