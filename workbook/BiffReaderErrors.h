#pragma once
// The reader's failures, one function per kind, so that every caller words
// the same case the same way.

#include <cstddef>
#include <string>

#include "EngineErrors.h"
#include "PlatformError.h"

namespace xls::biff {

[[noreturn]] inline void ThrowDamaged(const std::string& detail) {
    throw PlatformError(kErrDamaged, "ファイルが壊れているため読み込めません（" + detail + "）");
}

[[noreturn]] inline void ThrowNotXls(const std::string& why = std::string()) {
    std::string text = "Excel 97-2003 形式（.xls）のブックではありません";
    if (!why.empty()) {
        text += "。" + why;
    }
    throw PlatformError(kErrNotXls, text);
}

[[noreturn]] inline void ThrowEncrypted() {
    throw PlatformError(
        kErrEncrypted,
        "パスワードで保護されたブックは読み込めません（ブックが暗号化されています）。"
        "表計算ソフトでブックの保護またはパスワードを解除して保存し直してください。");
}

[[noreturn]] inline void ThrowBiff5() {
    throw PlatformError(kErrOldFormat,
                        "Excel 97 より前の形式（Excel 5.0/95）で保存されたブックは読み込めません。"
                        "Excel 97-2003 形式で保存し直してください。");
}

[[noreturn]] inline void ThrowBiff2to4() {
    throw PlatformError(kErrOldFormat,
                        "Excel 97 より前の形式（Excel 2.1/3.0/4.0）で保存されたブックは読み込めませ"
                        "ん。Excel 97-2003 形式で保存し直してください。");
}

[[noreturn]] inline void ThrowTooManySheets(std::size_t limit) {
    throw PlatformError(
        kErrLimit, "シートが多すぎるため読み込めません（読み込めるのは " + std::to_string(limit) +
                       " 枚までです）。不要なシートを削除して保存し直してください。");
}

[[noreturn]] inline void ThrowCellsBeyondFile() {
    throw PlatformError(kErrLimit,
                        "ファイルの大きさに比べてセルの範囲が広すぎるため読み込めません"
                        "（ファイルが壊れているか、表計算ソフト以外で作られています）。");
}

}  // namespace xls::biff
