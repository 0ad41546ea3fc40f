// The journal's whole-number texts: the hand-written digit writer it had (two digits
// a step from a table, written backwards to the end of a buffer) beside the
// standard library's std::to_chars copied to the same place. An import's
// journal writes about two and a half million values, most of them amounts
// of five or six digits. Prints the processor time per value of each,
// interleaved, median of the rounds.
//
//   bench_number_text [values [rounds]]

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ProcessTime.h"

namespace {

// As the journal wrote it before it took std::to_chars.
char* HandWritten(char* end, std::int64_t whole) {
    static constexpr char kPairs[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
        "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
        "888990919293949596979899";
    std::uint64_t magnitude =
        whole < 0 ? 0 - static_cast<std::uint64_t>(whole) : static_cast<std::uint64_t>(whole);
    while (magnitude >= 100) {
        const std::size_t pair = static_cast<std::size_t>(magnitude % 100) * 2;
        magnitude /= 100;
        *--end = kPairs[pair + 1];
        *--end = kPairs[pair];
    }
    if (magnitude >= 10) {
        const std::size_t pair = static_cast<std::size_t>(magnitude) * 2;
        *--end = kPairs[pair + 1];
        *--end = kPairs[pair];
    } else {
        *--end = static_cast<char>('0' + magnitude);
    }
    if (whole < 0)
        *--end = '-';
    return end;
}

// As the journal writes it now (import/ImportJournal.cpp).
char* Standard(char* end, std::int64_t whole) {
    char text[20];
    const auto done = std::to_chars(text, text + sizeof text, whole);
    const auto size = static_cast<std::size_t>(done.ptr - text);
    end -= size;
    std::memcpy(end, text, size);
    return end;
}

// Amounts as an import's journal holds them: mostly five or six digits, some
// small counts and codes, a few negatives and large keys.
std::vector<std::int64_t> JournalLikeValues(std::size_t count) {
    std::mt19937_64 random(20261208);
    std::vector<std::int64_t> values(count);
    for (std::int64_t& v : values) {
        const unsigned kind = static_cast<unsigned>(random() % 10);
        if (kind < 7)
            v = static_cast<std::int64_t>(10000 + random() % 990000);
        else if (kind < 9)
            v = static_cast<std::int64_t>(random() % 100);
        else
            v = (random() % 2 ? -1 : 1) * static_cast<std::int64_t>(random() % 10000000000);
    }
    return values;
}

// With `append`, each text and its tab go onto one list as in the journal;
// without, only the digits are made (their first byte kept for a checksum).
template <typename Writer>
double NanosecondsPerValue(const std::vector<std::int64_t>& values, Writer write, bool append,
                           std::size_t& checksum) {
    std::string out;
    out.reserve(append ? values.size() * 8 : 0);
    std::size_t sum = 0;
    const double start = ProcessCpuSeconds();
    for (const std::int64_t v : values) {
        char buffer[32];
        char* const end = buffer + sizeof buffer;
        *(end - 1) = '\t';
        char* const begin = write(end - 1, v);
        if (append)
            out.append(begin, static_cast<std::size_t>(end - begin));
        else
            sum += static_cast<unsigned char>(*begin) + static_cast<std::size_t>(end - begin);
    }
    const double stop = ProcessCpuSeconds();
    checksum += sum + out.size();
    return (stop - start) * 1e9 / static_cast<double>(values.size());
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2500000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    if (count == 0 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_number_text [values [rounds]]\n");
        return 2;
    }
    const std::vector<std::int64_t> values = JournalLikeValues(count);
    // Both give the same texts, or the comparison means nothing.
    for (const std::int64_t v : values) {
        char a[32];
        char b[32];
        char* const x = HandWritten(a + sizeof a, v);
        char* const y = Standard(b + sizeof b, v);
        if (std::string(x, a + sizeof a) != std::string(y, b + sizeof b)) {
            std::fprintf(stderr, "texts differ for %lld\n", static_cast<long long>(v));
            return 1;
        }
    }
    std::size_t checksum = 0;
    std::printf("%zu values, median of %d rounds (interleaved)\n", count, rounds);
    for (const bool append : {false, true}) {
        std::vector<double> hand;
        std::vector<double> standard;
        for (int r = 0; r < rounds; ++r) {
            hand.push_back(NanosecondsPerValue(values, HandWritten, append, checksum));
            standard.push_back(NanosecondsPerValue(values, Standard, append, checksum));
        }
        const double h = Median(hand);
        const double s = Median(standard);
        std::printf("%s\n", append ? "text and tab appended to one list:" : "digits alone:");
        std::printf("  hand-written digits : %6.2f ns a value, %6.1f ms for all\n", h,
                    h * static_cast<double>(count) / 1e6);
        std::printf("  std::to_chars + copy: %6.2f ns a value, %6.1f ms for all\n", s,
                    s * static_cast<double>(count) / 1e6);
        std::printf("  difference          : %+6.2f ns a value (%+.1f %%)\n", s - h,
                    (s - h) / h * 100.0);
    }
    std::printf("[checksum %zu]\n", checksum);
    return 0;
}
