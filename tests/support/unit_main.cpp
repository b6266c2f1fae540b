#include <gtest/gtest.h>

#include "main/model.hpp"

int main(int argc, char** argv) {
    hc::set_fp_mode();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
