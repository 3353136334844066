#include "mux/protocol/Filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(MuxFilter, SentenceIsWidenedByLengthAndStable) {
    struct Case {
        const char* typed;
        const char* stored;
    } cases[] = {{"gp", "GP---"},  {"rmc", "--RMC"}, {"GPRMC", "GPRMC"},
                 {"gprm", "GPRM"}, {"", ""},         {"aivdmx", "AIVDMX"}};
    for (const Case& c : cases) {
        Filter f;
        f.setSentence(std::string(c.typed));
        ASSERT_TRUE(f.sentence()) << c.typed;
        EXPECT_EQ(*f.sentence(), c.stored) << c.typed;
        f.setSentence(f.sentence()); // again on its own result: unchanged
        EXPECT_EQ(*f.sentence(), c.stored) << c.typed;
    }
    Filter none;
    none.setSentence(std::string("GP"));
    none.setSentence(std::nullopt);
    EXPECT_FALSE(none.sentence());
}

TEST(MuxFilter, FlagsAndOrder) {
    Filter f;
    f.usb = true;
    f.channel3 = true;
    EXPECT_EQ(f.flagString(), "10010");

    std::vector<Filter> list;
    for (const char* s : {"IIMWV", "--rmc", "GPGGA", "aivdm"}) {
        Filter g;
        g.setSentence(std::string(s));
        list.push_back(g);
    }
    std::sort(list.begin(), list.end(), filterSortBySentence);
    std::vector<std::string> order;
    for (const Filter& g : list)
        order.push_back(*g.sentence());
    EXPECT_EQ(order, (std::vector<std::string>{"--RMC", "AIVDM", "GPGGA", "IIMWV"}));
}
