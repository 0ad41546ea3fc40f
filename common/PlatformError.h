#pragma once
// The one error type thrown by the platform layers (database, workbook engine).
// It carries a number and a description, as the original automation errors did;
// each procedure decides whether to report, swallow or pass it on.

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
