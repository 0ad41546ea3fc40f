#pragma once
// Fails a test that showed a text holding a forbidden secret (ShownTexts.h).

#include <gtest/gtest.h>

#include <memory>

#include "ShownTexts.h"

class ShownSecretListener : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override { Check(); }
    void OnTestSuiteEnd(const testing::TestSuite&) override { Check(); }
    static void Check() {
        for (const std::string& text : shown::TakeLeaks())
            ADD_FAILURE() << "a text shown to the user holds a password: " << text;
    }
};

inline void WatchShownSecrets() {
    testing::UnitTest::GetInstance()->listeners().Append(
        std::make_unique<ShownSecretListener>().release());  // the framework owns it
}
