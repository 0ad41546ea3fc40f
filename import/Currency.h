#pragma once
// The fixed-point currency type of the septic-tank tools: a 64-bit integer
// scaled by 10000 (four decimals), as customer codes and limits are compared.

#include <cstdint>
#include <optional>

struct Currency {
    std::int64_t scaled = 0;

    static constexpr std::int64_t kScale = 10000;
    static constexpr Currency FromWhole(std::int64_t whole) { return Currency{whole * kScale}; }
    double ToDouble() const { return static_cast<double>(scaled) / static_cast<double>(kScale); }

    friend constexpr bool operator==(Currency, Currency) = default;
    friend constexpr auto operator<=>(Currency, Currency) = default;
};

// Rounds to four decimals: the value times 10000 goes to the nearest whole
// number, an exact half to the even one (2.5 to 2, 3.5 to 4), so halves do
// not all round up. nullopt when the value is not finite or does not fit.
std::optional<Currency> ToCurrency(double value);
