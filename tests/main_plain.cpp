#include <gtest/gtest.h>

#include "LeakListener.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    WatchShownSecrets();
    return RUN_ALL_TESTS();
}
