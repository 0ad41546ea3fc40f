#pragma once
// The assertion of the workbook tests for a PlatformError: it must be raised
// and carry the expected error number.

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <string>

#include "PlatformError.h"

// Runs `action`, which must throw PlatformError with `number`; returns its
// description (empty when it was not raised).
template <typename F>
std::string ExpectPlatformError(F&& action, std::int32_t number) {
    try {
        action();
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.number(), number) << e.description();
        return e.description();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not a PlatformError: " << e.what();
        return {};
    }
    ADD_FAILURE() << "no error raised, expected number " << number;
    return {};
}

#define EXPECT_PLATFORM_ERROR(statement, number)                              \
    do {                                                                      \
        SCOPED_TRACE(#statement);                                             \
        ExpectPlatformError([&] { static_cast<void>(statement); }, (number)); \
    } while (false)
