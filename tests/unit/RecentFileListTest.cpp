#include <gtest/gtest.h>

#include "config/RecentFileList.h"
#include "fakes/MemoryProfileStore.h"

namespace quorvel {
namespace {

using testing::MemoryProfileStore;
using Paths = std::vector<std::string>;

TEST(RecentFileList, KeepsTheNewestFourWithoutRepeats) {
    RecentFileList list;
    for (const char* path : {"/a.txt", "/b.txt", "/c.txt", "/d.txt"}) {
        list.Add(path);
    }
    EXPECT_EQ(list.Paths(), (Paths{"/d.txt", "/c.txt", "/b.txt", "/a.txt"}));
    list.Add("/b.txt");  // opened again: moves to the top, nothing falls off
    EXPECT_EQ(list.Paths(), (Paths{"/b.txt", "/d.txt", "/c.txt", "/a.txt"}));
    list.Add("/e.txt");  // a fifth file pushes the oldest out
    EXPECT_EQ(list.Paths(), (Paths{"/e.txt", "/b.txt", "/d.txt", "/c.txt"}));
    list.Add("");
    list.Remove(1);
    list.Remove(7);
    list.Remove(-1);
    EXPECT_EQ(list.Paths(), (Paths{"/e.txt", "/d.txt", "/c.txt"}));
}

TEST(RecentFileList, SurvivesTheStoreAndClearsSlotsItNoLongerUses) {
    MemoryProfileStore store;
    RecentFileList list;
    list.Add("/bench/one.txt");
    list.Add("/bench/tw\xc3\xb6.txt");
    ASSERT_TRUE(list.Save(store));
    EXPECT_EQ(store.texts.at("Recent File List/File1"), "/bench/tw\xc3\xb6.txt");
    EXPECT_EQ(store.texts.at("Recent File List/File3"), "");

    RecentFileList reread;
    reread.Load(store);
    EXPECT_EQ(reread.Paths(), list.Paths());

    reread.Remove(0);
    ASSERT_TRUE(reread.Save(store));
    EXPECT_EQ(store.texts.at("Recent File List/File1"), "/bench/one.txt");
    EXPECT_EQ(store.texts.at("Recent File List/File2"), "");

    store.refuseWrites = true;
    EXPECT_FALSE(reread.Save(store));
}

TEST(RecentFileList, LoadSkipsGapsAndRepeatsAndReadsNoMoreThanItsSize) {
    MemoryProfileStore store;
    store.texts = {{"Recent File List/File1", "/x.txt"},
                   {"Recent File List/File2", ""},
                   {"Recent File List/File3", "/x.txt"},
                   {"Recent File List/File4", "/y.txt"},
                   {"Recent File List/File5", "/z.txt"}};
    RecentFileList list;
    list.Load(store);
    EXPECT_EQ(list.Paths(), (Paths{"/x.txt", "/y.txt"}));
}

}  // namespace
}  // namespace quorvel
