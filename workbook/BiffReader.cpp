#include "BiffReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "BiffReaderErrors.h"
#include "NumberFormat.h"
#include "TextCodec.h"

namespace xls::biff {
namespace {

std::string Hex4(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

}  // namespace

std::string RecordName(std::uint16_t id) {
    for (const RecordInfo& record : kRecords) {
        if (record.id == id)
            return record.name;
    }
    return Hex4(id);
}

void Record::need(std::uint32_t n) const {
    if (size < n) {
        ThrowDamaged(RecordName(id) + " レコードが短すぎます（" + std::to_string(n) +
                     " バイト必要、" + std::to_string(size) + " バイト、位置 " +
                     std::to_string(offset) + "）");
    }
}

bool RecordReader::next(Record& record) {
    if (size_ - pos_ < 4 || pos_ > size_) {
        return false;
    }
    const std::uint8_t* head = stream_ + pos_;
    std::uint16_t id = Le16(head);
    std::uint32_t len = Le16(head + 2);
    if (size_ - pos_ - 4 < len) {
        ThrowDamaged(RecordName(id) + " レコードが途中で切れています（位置 " +
                     std::to_string(pos_) + "）");
    }
    record.id = id;
    record.offset = pos_;
    record.data = head + 4;
    record.size = len;
    record.breaks = nullptr;
    record.breakCount = 0;
    pos_ += 4 + len;

    // Fold the CONTINUE records that follow. Most records have none, and then
    // the payload is used in place.
    bool folded = false;
    while (size_ - pos_ >= 4 && Le16(stream_ + pos_) == kContinue) {
        std::uint32_t more = Le16(stream_ + pos_ + 2);
        if (size_ - pos_ - 4 < more) {
            ThrowDamaged("CONTINUE レコードが途中で切れています（位置 " + std::to_string(pos_) +
                         "）");
        }
        if (!folded) {
            fold_.assign(record.data, record.data + record.size);
            breaks_.clear();
            folded = true;
        }
        breaks_.push_back(static_cast<std::uint32_t>(fold_.size()));
        fold_.insert(fold_.end(), stream_ + pos_ + 4, stream_ + pos_ + 4 + more);
        pos_ += 4 + more;
        if (fold_.size() > 0xFFFFFFF0u) {
            ThrowDamaged("CONTINUE レコードが多すぎます");
        }
    }
    if (folded) {
        record.data = fold_.data();
        record.size = static_cast<std::uint32_t>(fold_.size());
        record.breaks = breaks_.data();
        record.breakCount = breaks_.size();
    }
    return true;
}

void Cursor::need(std::uint32_t n) const {
    if (record_->size - pos_ < n) {
        ThrowDamaged(RecordName(record_->id) + " レコードの内容が途中で切れています（位置 " +
                     std::to_string(record_->offset) + "）");
    }
}

std::uint8_t Cursor::u8() {
    need(1);
    return record_->data[pos_++];
}

std::uint16_t Cursor::u16() {
    need(2);
    std::uint16_t v = Le16(record_->data + pos_);
    pos_ += 2;
    return v;
}

std::uint32_t Cursor::u32() {
    need(4);
    std::uint32_t v = Le32(record_->data + pos_);
    pos_ += 4;
    return v;
}

void Cursor::skip(std::uint32_t n) {
    need(n);
    pos_ += n;
}

void Cursor::chars(std::uint32_t cch, bool wide, std::u16string& out) {
    const std::uint8_t* data = record_->data;
    const std::uint32_t size = record_->size;
    while (cch > 0) {
        while (breakIndex_ < record_->breakCount && record_->breaks[breakIndex_] < pos_) {
            ++breakIndex_;
        }
        std::uint32_t segmentEnd =
            breakIndex_ < record_->breakCount ? record_->breaks[breakIndex_] : size;
        std::uint32_t avail = (segmentEnd - pos_) / (wide ? 2u : 1u);
        if (avail > 0) {
            std::uint32_t take = std::min(avail, cch);
            if (wide) {
                for (std::uint32_t i = 0; i < take; ++i) {
                    out.push_back(static_cast<char16_t>(Le16(data + pos_ + 2 * i)));
                }
                pos_ += 2 * take;
            } else {
                for (std::uint32_t i = 0; i < take; ++i) {
                    out.push_back(static_cast<char16_t>(data[pos_ + i]));
                }
                pos_ += take;
            }
            cch -= take;
            continue;
        }
        // End of this record's share: the next CONTINUE restates the width.
        if (segmentEnd >= size) {
            ThrowDamaged(RecordName(record_->id) + " レコードの文字列が途中で切れています（位置 " +
                         std::to_string(record_->offset) + "）");
        }
        pos_ = segmentEnd;  // a lone byte of a split 16-bit unit is dropped
        wide = (data[pos_] & 0x01) != 0;
        ++pos_;
    }
}

std::string Cursor::unicodeString(bool shortLength) {
    std::uint32_t cch = shortLength ? u8() : u16();
    std::uint8_t flags = u8();
    scratch_.clear();
    if (cch > remaining()) {
        // Each character needs at least one byte: do not reserve by the stated count.
        need(cch);
    }
    scratch_.reserve(cch);
    chars(cch, (flags & 0x01) != 0, scratch_);
    std::string text;
    textcodec::AppendUtf16AsUtf8(scratch_, text);
    return text;
}

void Cursor::richExtendedString(std::string& out) {
    std::uint32_t cch = u16();
    std::uint8_t flags = u8();
    std::uint32_t runs = (flags & 0x08) != 0 ? u16() : 0;
    std::uint32_t extRst = (flags & 0x04) != 0 ? u32() : 0;
    scratch_.clear();
    chars(cch, (flags & 0x01) != 0, scratch_);
    skip(runs * 4);
    skip(extRst);
    out.clear();
    textcodec::AppendUtf16AsUtf8(scratch_, out);
}

double DecodeRk(std::uint32_t rk) {
    double value;
    if ((rk & 0x02) != 0) {
        // 30-bit signed integer: the shift must keep the sign.
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    if ((rk & 0x01) != 0) {
        // Divide: multiplying by 0.01 is not exact (0.015 would come back wrong).
        value /= 100.0;
    }
    return value;
}

std::optional<std::string> BuiltinNumberFormat(std::uint16_t ifmt) {
    switch (ifmt) {
        case 0:
            return "General";
        case 1:
            return "0";
        case 2:
            return "0.00";
        case 3:
            return "#,##0";
        case 4:
            return "#,##0.00";
        case 5:
            return "\"$\"#,##0_);(\"$\"#,##0)";
        case 6:
            return "\"$\"#,##0_);[Red](\"$\"#,##0)";
        case 7:
            return "\"$\"#,##0.00_);(\"$\"#,##0.00)";
        case 8:
            return "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)";
        case 9:
            return "0%";
        case 10:
            return "0.00%";
        case 11:
            return "0.00E+00";
        case 12:
            return "# ?/?";
        case 13:
            return "# ?\?/??";
        case 14:
            return "m/d/yy";
        case 15:
            return "d-mmm-yy";
        case 16:
            return "d-mmm";
        case 17:
            return "mmm-yy";
        case 18:
            return "h:mm AM/PM";
        case 19:
            return "h:mm:ss AM/PM";
        case 20:
            return "h:mm";
        case 21:
            return "h:mm:ss";
        case 22:
            return "m/d/yy h:mm";
        case 37:
            return "#,##0_);(#,##0)";
        case 38:
            return "#,##0_);[Red](#,##0)";
        case 39:
            return "#,##0.00_);(#,##0.00)";
        case 40:
            return "#,##0.00_);[Red](#,##0.00)";
        case 41:
            return "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)";
        case 42:
            return "_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)";
        case 43:
            return "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)";
        case 44:
            return "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)";
        case 45:
            return "mm:ss";
        case 46:
            return "[h]:mm:ss";
        case 47:
            return "mm:ss.0";
        case 48:
            return "##0.0E+0";
        case 49:
            return "@";
        // Japanese date and time formats; the codes Japanese Excel shows for them.
        case 27:
        case 36:
        case 50:
        case 57:
            return "[$-411]ge.m.d";
        case 28:
        case 29:
        case 51:
        case 54:
        case 58:
            return "[$-411]ggge\"年\"m\"月\"d\"日\"";
        case 30:
            return "m/d/yy";
        case 31:
            return "yyyy\"年\"m\"月\"d\"日\"";
        case 32:
            return "h\"時\"mm\"分\"";
        case 33:
            return "h\"時\"mm\"分\"ss\"秒\"";
        case 34:
        case 52:
        case 55:
            return "yyyy\"年\"m\"月\"";
        case 35:
        case 53:
        case 56:
            return "m\"月\"d\"日\"";
        default:
            return std::nullopt;
    }
}

bool IsDateFormat(const std::string& format) {
    return ClassifyNumberFormat(format) != NumberShows::Number;
}

Font ParseFont(const Record& record) {
    record.need(15);
    Cursor cursor(record);
    Font font;
    font.height = cursor.u16();
    std::uint16_t grbit = cursor.u16();
    font.italic = (grbit & 0x02) != 0;
    font.color = cursor.u16();
    std::uint16_t weight = cursor.u16();
    font.bold = weight >= 700;
    cursor.skip(2);  // escapement
    font.underline = cursor.u8();
    font.family = cursor.u8();
    font.charset = cursor.u8();
    cursor.skip(1);
    font.name = cursor.unicodeString(true);
    return font;
}

RawXf ParseXf(const Record& record) {
    record.need(20);
    const std::uint8_t* p = record.data;
    RawXf xf;
    xf.font = Le16(p);
    xf.ifmt = Le16(p + 2);
    std::uint16_t type = Le16(p + 4);
    CellFormat& f = xf.format;
    f.locked = (type & 0x0001) != 0;
    f.hidden = (type & 0x0002) != 0;
    xf.isStyle = (type & 0x0004) != 0;
    xf.parent = static_cast<std::uint16_t>(type >> 4);
    f.hAlign = p[6] & 0x07;
    f.wrap = (p[6] & 0x08) != 0;
    f.vAlign = (p[6] >> 4) & 0x07;
    f.rotation = p[7];
    f.indent = p[8] & 0x0F;
    f.shrink = (p[8] & 0x10) != 0;
    xf.usedFlags = static_cast<std::uint8_t>(p[9] >> 2);
    std::uint32_t b1 = Le32(p + 10);
    std::uint32_t b2 = Le32(p + 14);
    std::uint16_t b3 = Le16(p + 18);
    f.left.style = b1 & 0x0F;
    f.right.style = (b1 >> 4) & 0x0F;
    f.top.style = (b1 >> 8) & 0x0F;
    f.bottom.style = (b1 >> 12) & 0x0F;
    f.left.color = (b1 >> 16) & 0x7F;
    f.right.color = (b1 >> 23) & 0x7F;
    f.top.color = b2 & 0x7F;
    f.bottom.color = (b2 >> 7) & 0x7F;
    f.pattern = static_cast<std::uint8_t>((b2 >> 26) & 0x3F);
    f.patternColor = b3 & 0x7F;
    f.patternBgColor = (b3 >> 7) & 0x7F;
    return xf;
}

BoundSheet ParseBoundSheet(const Record& record) {
    record.need(8);
    Cursor cursor(record);
    BoundSheet sheet;
    sheet.offset = cursor.u32();
    sheet.state = cursor.u8() & 0x03;
    sheet.type = cursor.u8();
    sheet.name = cursor.unicodeString(true);
    return sheet;
}

void ForEachSstString(const Record& record, const std::function<void(const std::string&)>& take) {
    record.need(8);
    Cursor cursor(record);
    cursor.skip(4);  // cstTotal: the number of LABELSST records, not needed
    std::uint32_t unique = cursor.u32();
    std::string text;
    for (std::uint32_t i = 0; i < unique && cursor.remaining() > 0; ++i) {
        cursor.richExtendedString(text);
        take(text);
    }
}

std::vector<std::string> ParseSst(const Record& record) {
    std::vector<std::string> strings;
    ForEachSstString(record, [&](const std::string& s) { strings.push_back(s); });
    return strings;
}

void SplitHeaderFooter(const std::string& text, std::string& left, std::string& center,
                       std::string& right) {
    left.clear();
    center.clear();
    right.clear();
    std::string* section = &center;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            char code = text[i + 1];
            if (code == 'L' || code == 'C' || code == 'R') {
                section = code == 'L' ? &left : code == 'C' ? &center : &right;
                ++i;
                continue;
            }
            // Every other code (&&, &P, &"font", ...) stays in its section.
            section->push_back(text[i]);
            section->push_back(code);
            ++i;
            continue;
        }
        section->push_back(text[i]);
    }
}

std::string DumpRecords(const std::uint8_t* stream, std::size_t size, std::size_t maxRecords,
                        std::size_t maxBytesShown) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t n = 0; n < maxRecords && size - pos >= 4; ++n) {
        std::uint16_t id = Le16(stream + pos);
        std::uint16_t len = Le16(stream + pos + 2);
        char line[96];
        std::snprintf(line, sizeof line, "%08zX %-12s len=%-5u", pos, RecordName(id).c_str(),
                      static_cast<unsigned>(len));
        out += line;
        std::size_t avail = std::min<std::size_t>(len, size - pos - 4);
        for (std::size_t i = 0; i < std::min(avail, maxBytesShown); ++i) {
            std::snprintf(line, sizeof line, " %02X", stream[pos + 4 + i]);
            out += line;
        }
        if (avail > maxBytesShown) {
            out += " ...";
        }
        if (avail < len) {
            out += " [truncated]\n";
            break;
        }
        out += '\n';
        pos += 4 + len;
    }
    return out;
}

}  // namespace xls::biff
