// The file dialogs answered through TARN_DIALOG_ANSWERS, and without any display.
#include "fs/FsTestSupport.h"
#include "sys/FileDialog.h"

#include <cstdlib>

namespace {

// Sets an environment variable for the test's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (old) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

using FsDialogTest = FsModuleTest;

TEST_F(FsDialogTest, AnswersComeLineByLineAfterTheCallReturns) {
    std::string answers = file("answers.txt");
    writeFile(answers, "/music/song.wav\n\n/out/take\n/out/named.aif\n/media/stick\n/media/stick/\n");
    ScopedEnv seam("TARN_DIALOG_ANSWERS", answers.c_str());

    EXPECT_EQ(call({"openfilename", "[\"wav\",\"mp3\"]", "/music"}), "v");
    EXPECT_EQ(controller.takeEvent(), "") << "the dialog shows after the call has returned";
    EXPECT_EQ(nextEvent(), event({"fs", "openfilename", "/music/song.wav"}));
    EXPECT_EQ(call({"openfilename"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "openfilename", ""}));  // an empty line cancels

    // The save dialog adds its extension to a name typed without one.
    EXPECT_EQ(call({"savefilename", "take", "wav"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "savefilename", "/out/take.wav"}));
    EXPECT_EQ(call({"savefilename", "take", "wav"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "savefilename", "/out/named.aif"}));

    EXPECT_EQ(call({"choosefolder", "/media"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "choosefolder", "/media/stick/"}));
    EXPECT_EQ(call({"choosefolder"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "choosefolder", "/media/stick/"}));
    EXPECT_EQ(call({"choosefolder"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "choosefolder", ""})) << "no lines left: cancel";
}

TEST_F(FsDialogTest, AMalformedFilterFailsBeforeAnyDialog) {
    std::string answers = file("answers.txt");
    writeFile(answers, "/first.wav\n");
    ScopedEnv seam("TARN_DIALOG_ANSWERS", answers.c_str());
    EXPECT_EQ(call({"openfilename", "{\"wav\":1}"}), "esystem exception");
    EXPECT_EQ(call({"openfilename", "[\"wav\",3]"}), "esystem exception");
    EXPECT_EQ(call({"openfilename", "wav"}), "esystem exception");
    EXPECT_EQ(eventsWithin(200), std::vector<std::string>{});
    EXPECT_EQ(call({"openfilename", "[]"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "openfilename", "/first.wav"})) << "no answer was used up";
}

TEST_F(FsDialogTest, WithoutDisplayAndAnswersEveryDialogCancels) {
    ScopedEnv seam("TARN_DIALOG_ANSWERS", nullptr);
    ScopedEnv x("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(call({"openfilename", "[\"wav\"]"}), "v");
    EXPECT_EQ(call({"savefilename", "a", "wav"}), "v");
    EXPECT_EQ(call({"choosefolder", "/"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "openfilename", ""}));
    EXPECT_EQ(nextEvent(), event({"fs", "savefilename", ""}));
    EXPECT_EQ(nextEvent(), event({"fs", "choosefolder", ""}));
}

TEST(FileDialogFilterTest, OneEntryWithEveryExtension) {
    OpenPanel panel({"wav", "mp3", "m4a"}, "");
    EXPECT_EQ(panel.filterName(), "wav/mp3/m4a");
    EXPECT_EQ(panel.filterPatterns(), (std::vector<std::string>{"*.[wW][aA][vV]", "*.[mM][pP]3", "*.[mM]4[aA]"}));
    EXPECT_EQ(extensionPattern("a*b"), "*.[aA][*][bB]");
}

}  // namespace
