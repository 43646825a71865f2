// Real GTK file choosers on an X server, answered by keystrokes that with_xvfb_dialog.sh
// sends with xdotool: the open dialogs (one file, then several) each get a typed path and
// Enter, the folder dialog Escape.
#include "modules/fs/FsTestSupport.h"

#include "base/Json.h"

#include <cstdlib>

namespace {

using DialogUnderXvfbTest = FsModuleTest;

TEST_F(DialogUnderXvfbTest, TypedPathOpensAndEscapeCancels) {
    const char* pick = std::getenv("TARN_TEST_PICK");
    ASSERT_NE(pick, nullptr) << "run through with_xvfb_dialog.sh";
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    unsetenv("TARN_DIALOG_ANSWERS");
    std::string path = pick;
    std::string folder = path.substr(0, path.rfind('/') + 1);

    EXPECT_EQ(call({"openfilename", "[\"wav\"]", folder}), "v");
    EXPECT_EQ(nextEvent(60000), event({"fs", "openfilename", path}));
    // The dialog of several files, given one path: an array of one.
    EXPECT_EQ(call({"openfilenames", "[\"wav\"]", folder}), "v");
    EXPECT_EQ(nextEvent(60000), event({"fs", "openfilenames", jsonText(Json(std::vector<std::string>{path}))}));
    EXPECT_EQ(call({"choosefolder", folder}), "v");
    EXPECT_EQ(nextEvent(60000), event({"fs", "choosefolder", ""}));
}

}  // namespace
