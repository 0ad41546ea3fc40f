#include "BookFileReader.h"

#include <cstdio>
#include <new>

#include "BiffReaderErrors.h"
#include "OdsReader.h"
#include "XlsReader.h"
#include "XlsxReader.h"
#include "ZipPackage.h"

namespace xls {
namespace {

bool StartsAsZip(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    unsigned char magic[4] = {};
    const std::size_t n = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    return n == 4 && magic[0] == 'P' && magic[1] == 'K' && magic[2] == 3 && magic[3] == 4;
}

BookFile ReadPackage(const std::string& path) {
    const zip::ZipPackage package(path);
    if (IsOdsPackage(package))
        return {ReadOdsPackage(package), BookFormat::Ods};
    if (IsXlsxPackage(package))
        return {ReadXlsxPackage(package), BookFormat::Xlsx};
    biff::ThrowNotXls(
        "zip 形式のファイルですが、Excel ブック（.xlsx）でも ODF 表計算ドキュメント（.ods）でも"
        "ありません。");
}

}  // namespace

BookFile ReadBookFile(const std::string& path) {
    if (!StartsAsZip(path))
        return {ReadXlsFile(path), BookFormat::Xls};
    try {
        return ReadPackage(path);
    } catch (const PlatformError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw PlatformError(kErrLimit, "メモリが不足しているためブックを読み込めません");
    } catch (const std::exception& e) {
        biff::ThrowDamaged(e.what());
    }
}

}  // namespace xls
