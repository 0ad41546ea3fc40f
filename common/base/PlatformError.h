#pragma once
// The one error type thrown by the platform layers (database, workbook engine).
// It carries a number, which callers that report numbers show and test, and a
// description; each procedure decides whether to report, swallow or pass it on.

#include <cstdint>
#include <stdexcept>
#include <string>

class PlatformError : public std::runtime_error {
  public:
    PlatformError(std::int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number), description_(description) {}

    std::int32_t number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

  private:
    std::int32_t number_;
    std::string description_;
};

// The number a caller that tests numbers sees: never 0, which means success.
inline std::int32_t ErrorNumber(const PlatformError& e) {
    return e.number() != 0 ? e.number() : 1;
}
