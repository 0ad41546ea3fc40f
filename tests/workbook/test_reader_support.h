#pragma once
// Helpers of the .xls reader tests: fixture loading, a compound-file wrapper
// (libgsf, the same container library the reader uses, but its writer side)
// and a small BIFF8 stream builder for cases no application writes on purpose.

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "EngineErrors.h"
#include "PlatformError.h"
#include "PlatformErrorAssert.h"
#include "XlsReader.h"

namespace xls::readertest {

using Bytes = std::vector<std::uint8_t>;

inline std::string FixturePath(const std::string& name) {
    return std::string(VELKAN_FIXTURES_DIR) + "/xls/" + name;
}

inline Bytes LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot open " << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::unique_ptr<Workbook> ReadFixture(const std::string& name) {
    return ReadXlsFile(FixturePath(name));
}

inline std::unique_ptr<Workbook> ReadBytes(const Bytes& bytes) {
    return ReadXlsFromMemory(bytes.data(), bytes.size());
}

// Wraps stream bytes into a version-3 compound file under the given names.
inline Bytes WrapCfb(const std::vector<std::pair<std::string, Bytes>>& streams) {
    gsf_init();
    GsfOutput* sink = gsf_output_memory_new();
    GsfOutfile* ole = gsf_outfile_msole_new(sink);
    for (const auto& [name, bytes] : streams) {
        GsfOutput* child = gsf_outfile_new_child(ole, name.c_str(), FALSE);
        gsf_output_write(child, bytes.size(), bytes.data());
        gsf_output_close(child);
        g_object_unref(child);
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink));
    Bytes out(data, data + gsf_output_size(sink));
    g_object_unref(sink);
    return out;
}

inline Bytes WrapCfb(const std::string& name, const Bytes& stream) {
    return WrapCfb({{name, stream}});
}

// --- BIFF8 stream builder ------------------------------------------------

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
inline void PutDouble(Bytes& b, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    Put32(b, static_cast<std::uint32_t>(bits));
    Put32(b, static_cast<std::uint32_t>(bits >> 32));
}
inline void Append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

inline Bytes Rec(std::uint16_t id, const Bytes& payload) {
    Bytes r;
    Put16(r, id);
    Put16(r, static_cast<std::uint32_t>(payload.size()));
    Append(r, payload);
    return r;
}

inline Bytes Bof(std::uint16_t dt, std::uint16_t version = 0x0600) {
    Bytes p;
    Put16(p, version);
    Put16(p, dt);
    Put16(p, 0x0DBB);
    Put16(p, 0x07CC);
    Put32(p, 0);
    Put32(p, 6);
    return Rec(0x0809, p);
}
inline Bytes Eof() {
    return Rec(0x000A, {});
}

// 8-bit XLUnicodeString (or ShortXLUnicodeString) of ASCII text.
inline Bytes AsciiString(const std::string& s, bool shortLength = false) {
    Bytes b;
    if (shortLength) {
        b.push_back(static_cast<std::uint8_t>(s.size()));
    } else {
        Put16(b, static_cast<std::uint32_t>(s.size()));
    }
    b.push_back(0);
    b.insert(b.end(), s.begin(), s.end());
    return b;
}
// 16-bit string from UTF-16 units.
inline Bytes WideString(const std::u16string& s, bool shortLength = false) {
    Bytes b;
    if (shortLength) {
        b.push_back(static_cast<std::uint8_t>(s.size()));
    } else {
        Put16(b, static_cast<std::uint32_t>(s.size()));
    }
    b.push_back(1);
    for (char16_t c : s) {
        Put16(b, c);
    }
    return b;
}

inline Bytes FontRec(const std::u16string& name, std::uint16_t height = 200,
                     std::uint16_t weight = 400) {
    Bytes p;
    Put16(p, height);
    Put16(p, 0);
    Put16(p, 0x7FFF);
    Put16(p, weight);
    Put16(p, 0);
    p.push_back(0);
    p.push_back(0);
    p.push_back(1);
    p.push_back(0);
    Append(p, WideString(name, true));
    return Rec(0x0031, p);
}

struct XfSpec {
    std::uint16_t font = 0;
    std::uint16_t ifmt = 0;
    bool style = false;
    std::uint16_t parent = 0;
    std::uint8_t used = 0xFC;
    std::uint8_t fill = 0;  // icv of a solid fill, 0 = none
    std::uint8_t hAlign = 0;
};

inline Bytes XfRec(const XfSpec& s) {
    Bytes p;
    Put16(p, s.font);
    Put16(p, s.ifmt);
    std::uint16_t type = 0x0001 | (s.style ? 0x0004 : 0) |
                         static_cast<std::uint16_t>((s.style ? 0xFFF : s.parent) << 4);
    Put16(p, type);
    p.push_back(static_cast<std::uint8_t>(s.hAlign | 0x20));
    p.push_back(0);
    p.push_back(0);
    p.push_back(s.used);
    Put32(p, 0);
    std::uint32_t b2 = s.fill != 0 ? (1u << 26) : 0;
    Put32(p, b2);
    Put16(p, s.fill != 0 ? static_cast<std::uint32_t>(s.fill | (64 << 7)) : (64 | (65 << 7)));
    return Rec(0x00E0, p);
}

// A whole stream: globals (with the given extra records and SST strings) and
// worksheets of raw cell records; lbPlyPos is patched in.
struct SheetSpec {
    std::string name;
    Bytes records;  // between the sheet's BOF and EOF
    std::uint8_t type = 0;
    std::uint16_t bofType = 0x0010;
};

inline Bytes SstRecord(const std::vector<std::string>& strings) {
    Bytes p;
    Put32(p, static_cast<std::uint32_t>(strings.size()));
    Put32(p, static_cast<std::uint32_t>(strings.size()));
    for (const auto& s : strings) {
        Append(p, AsciiString(s));
    }
    return Rec(0x00FC, p);
}

inline Bytes StandardFormats() {
    Bytes g;
    for (int i = 0; i < 4; ++i) {
        Append(g, FontRec(u"Arial"));
    }
    Append(g, FontRec(u"ＭＳ"));  // index 5 (no font 4)
    for (int i = 0; i < 15; ++i) {
        Append(g, XfRec({.style = true}));
    }
    Append(g, XfRec({}));  // XF 15, default cell format
    return g;
}

inline Bytes BuildStream(const Bytes& globalsExtra, const std::vector<SheetSpec>& sheets,
                         const std::vector<std::string>& sst = {}) {
    Bytes head = Bof(0x0005);
    Append(head, globalsExtra);
    // BOUNDSHEET8 records with a placeholder offset, patched below.
    std::vector<std::size_t> patch;
    Bytes bound;
    for (const auto& s : sheets) {
        Bytes p;
        Put32(p, 0);
        p.push_back(0);
        p.push_back(s.type);
        Append(p, AsciiString(s.name, true));
        patch.push_back(head.size() + bound.size() + 4);
        Append(bound, Rec(0x0085, p));
    }
    Bytes out = head;
    Append(out, bound);
    if (!sst.empty()) {
        Append(out, SstRecord(sst));
    }
    Append(out, Eof());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        std::uint32_t at = static_cast<std::uint32_t>(out.size());
        for (int k = 0; k < 4; ++k) {
            out[patch[i] + k] = static_cast<std::uint8_t>(at >> (8 * k));
        }
        Append(out, Bof(sheets[i].bofType));
        Append(out, sheets[i].records);
        Append(out, Eof());
    }
    return out;
}

inline Bytes CellHeader(std::uint16_t row, std::uint16_t col, std::uint16_t xf = 15) {
    Bytes p;
    Put16(p, row);
    Put16(p, col);
    Put16(p, xf);
    return p;
}
inline Bytes NumberRec(std::uint16_t row, std::uint16_t col, double v, std::uint16_t xf = 15) {
    Bytes p = CellHeader(row, col, xf);
    PutDouble(p, v);
    return Rec(0x0203, p);
}
inline Bytes RkRec(std::uint16_t row, std::uint16_t col, std::uint32_t rk) {
    Bytes p = CellHeader(row, col);
    Put32(p, rk);
    return Rec(0x027E, p);
}
inline Bytes LabelSstRec(std::uint16_t row, std::uint16_t col, std::uint32_t index,
                         std::uint16_t xf = 15) {
    Bytes p = CellHeader(row, col, xf);
    Put32(p, index);
    return Rec(0x00FD, p);
}

using ::ExpectPlatformError;

}  // namespace xls::readertest
