#include "Currency.h"

#include <cmath>

std::optional<Currency> ToCurrency(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double scaled = std::nearbyint(value * static_cast<double>(Currency::kScale));
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
        return std::nullopt;
    }
    return Currency{static_cast<std::int64_t>(scaled)};
}
