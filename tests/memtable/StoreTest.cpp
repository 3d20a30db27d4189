#include <gtest/gtest.h>

#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

TEST(Smoke, AppendAndRead) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "Caneta", 2.5);
    AddItem(t.get(), 2, "Lápis", 1.25);
    EXPECT_EQ(t->RecordCount(), 2);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2}));
    EXPECT_EQ(Names(t.get()), (std::vector<std::string>{"Caneta", "Lápis"}));
}
