// FUZZ-SOURCES: import/!(main).cpp common/!(Startup).cpp db/*.cpp common/text/*.cpp workbook/*.cpp
// FUZZ-PKGS: libgsf-1 pugixml sqlite3 libpq libcrypto
// FUZZ-OPTIONS: -rss_limit_mb=512 -malloc_limit_mb=64
//
// The journal's value texts as the undo reads them back from the database:
// a line's tab-separated lists split into the line's number of fields and
// each item read as a value. Whatever reads must write back to a text that
// reads as the same value bit for bit and writes the same text again; and
// values made from the input's bytes (whole numbers, reals of any bit
// pattern, texts of any bytes) survive the journal line they are written to.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSeeds.h"
#include "ImportJournal.h"

namespace {

bool Same(const FieldValue& a, const FieldValue& b) {
    if (a.index() != b.index())
        return false;
    if (const auto* x = std::get_if<double>(&a)) {
        const double y = std::get<double>(b);
        if (std::isnan(*x) && std::isnan(y))
            return true;  // NaN payloads need not survive, NaN does
        return std::memcmp(x, &y, sizeof y) == 0;
    }
    if (const auto* x = std::get_if<std::int64_t>(&a))
        return *x == std::get<std::int64_t>(b);
    if (const auto* x = std::get_if<std::string>(&a))
        return *x == std::get<std::string>(b);
    return true;
}

void ReadsBackAsWritten(const FieldValue& value) {
    std::string text;
    AppendJournalValue(text, value);
    FieldValue again;
    if (!ReadJournalValue(text, again) || !Same(value, again))
        std::abort();
    std::string twice;
    AppendJournalValue(twice, again);
    if (twice != text)
        std::abort();
}

void WriteSeeds() {
    fuzzseeds::WriteSeed("values.txt", "NULL\t-12\t1000.0\t0.1\t\"a\\tb\"\t-0.0\t1e+300\tinf\tnan");
    fuzzseeds::WriteSeed("texts.txt",
                         "\"\"\t\"\\\\\"\t\"改定後の金額\\r\\n\"\t9223372036854775807");
    fuzzseeds::WriteSeed("bad.txt", "+1\t\"\\x\"\t\"open\t1e\t--1\t9223372036854775808\t0x10");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeeds();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The undo's reading: the list must split into exactly its items.
    std::vector<std::string_view> items;
    const std::size_t tabs = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t'));
    if (!SplitJournalList(text, tabs + 1, items) || SplitJournalList(text, tabs + 2, items))
        std::abort();
    SplitJournalList(text, tabs + 1, items);
    std::string joined;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            joined += '\t';
        joined += items[i];
        FieldValue value;
        if (ReadJournalValue(items[i], value))
            ReadsBackAsWritten(value);
    }
    if (joined != text)
        std::abort();

    // Values of every kind from the bytes, through one journal line.
    JournalRecordLine line;
    std::vector<FieldValue> values;
    for (std::size_t at = 0; at + 9 <= size; at += 9) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, data + at + 1, 8);
        switch (data[at] % 4) {
            case 0:
                values.emplace_back(static_cast<std::int64_t>(bits));
                break;
            case 1: {
                double real = 0;
                std::memcpy(&real, &bits, 8);
                values.emplace_back(real);
                break;
            }
            case 2:
                values.emplace_back(std::string(reinterpret_cast<const char*>(data + at + 1), 8));
                break;
            default:
                values.emplace_back(FieldNull{});
        }
        line.AddField("F" + std::to_string(values.size()), FieldNull{}, values.back());
    }
    if (!values.empty()) {
        if (!SplitJournalList(line.after, values.size(), items))
            std::abort();
        for (std::size_t i = 0; i < values.size(); ++i) {
            FieldValue back;
            if (!ReadJournalValue(items[i], back) || !Same(values[i], back))
                std::abort();
        }
    }
    return 0;
}
