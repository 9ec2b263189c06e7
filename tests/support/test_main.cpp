// Test entry: the library's entry convention around GoogleTest's runner.
#include <allegro.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
END_OF_MAIN()
