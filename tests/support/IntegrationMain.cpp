#include "TestNetwork.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    isolateNetwork();
    return RUN_ALL_TESTS();
}
