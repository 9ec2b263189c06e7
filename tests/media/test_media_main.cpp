// Runs the media tests, or, started as "--play ...", plays a track for one of them.
#include <allegro.h>
#include <gtest/gtest.h>

#include <cstring>

int play_track_for_test(int argc, char **argv);

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--play") == 0) return play_track_for_test(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
END_OF_MAIN()
