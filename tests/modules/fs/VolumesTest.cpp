// The volumes call lists this machine's volumes as its mount table has them.
#include "base/Json.h"
#include "modules/fs/FsTestSupport.h"
#include "sys/MountTable.h"
#include "sys/Paths.h"

namespace {

using VolumesCallTest = FsModuleTest;

TEST_F(VolumesCallTest, ListsThisMachinesVolumesWithSlashes) {
    std::vector<MountEntry> table;
    ASSERT_TRUE(readMountTable(table));
    std::string text = call({"volumes"});
    ASSERT_EQ(text.substr(0, 1), "s");
    Json list = parseJson(text.substr(1));
    std::vector<MountEntry> expected = userVolumes(table);
    ASSERT_EQ(list.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(list[i]["mount"], withSlash(expected[i].mountPoint));
        EXPECT_TRUE(list[i]["volume"].is_string());
        // Besides those two, only the volume's size and free bytes, when the system tells them.
        for (const auto& [key, value] : list[i].items())
            EXPECT_TRUE(key == "mount" || key == "volume" || ((key == "size" || key == "free") && value.is_number()))
                << key;
    }
}

}  // namespace
