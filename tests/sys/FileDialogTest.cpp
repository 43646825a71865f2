// File dialog filters as the desktop's chooser gets them.
#include "sys/FileDialog.h"

#include <gtest/gtest.h>

namespace {

TEST(FileDialogFilterTest, OneEntryWithEveryExtension) {
    OpenPanel panel({"wav", "mp3", "m4a"}, "");
    EXPECT_EQ(panel.filterName(), "wav/mp3/m4a");
    EXPECT_EQ(panel.filterPatterns(), (std::vector<std::string>{"*.[wW][aA][vV]", "*.[mM][pP]3", "*.[mM]4[aA]"}));
    EXPECT_EQ(extensionPattern("a*b"), "*.[aA][*][bB]");
}

}  // namespace
