// The file dialogs answered through TARN_DIALOG_ANSWERS, and without any display.
#include "modules/fs/FsTestSupport.h"
#include "base/Json.h"
#include "sys/FileDialog.h"

#include <algorithm>

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

// The open dialog of several files answers a JSON array: a line's tab-separated paths,
// "[]" for a cancel.
TEST_F(FsDialogTest, SeveralFilesComeAsOneArray) {
    std::string answers = file("answers.txt");
    writeFile(answers, "/music/a.wav\t/music/b c.wav\n\n");
    ScopedEnv seam("TARN_DIALOG_ANSWERS", answers.c_str());
    EXPECT_EQ(call({"openfilenames", "[\"wav\"]", "/music"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "openfilenames", jsonText(Json{"/music/a.wav", "/music/b c.wav"})}));
    EXPECT_EQ(call({"openfilenames"}), "v");
    EXPECT_EQ(nextEvent(), event({"fs", "openfilenames", "[]"}));
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

// No window can be shown: the page is asked to choose, with what its chooser needs (the
// open dialog in the user's music unless a folder is given, the save dialog in the
// documents with the proposed name's extension added); the host answers nothing itself.
TEST_F(FsDialogTest, WithoutDisplayThePageIsAskedToChoose) {
    ScopedEnv seam("TARN_DIALOG_ANSWERS", nullptr);
    ScopedEnv x("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    const std::string music = file("Music"), documents = file("Papers");
    writeFile(file("config/user-dirs.dirs"), "XDG_MUSIC_DIR=\"" + music + "\"\nXDG_DOCUMENTS_DIR=\"" + documents + "\"\n");
    EXPECT_EQ(call({"openfilename", "[\"wav\",\"mp3\"]"}), "v");
    EXPECT_EQ(call({"openfilename", "[]", "/media/x"}), "v");
    EXPECT_EQ(call({"savefilename", "Song.Final", "wav"}), "v");
    EXPECT_EQ(call({"choosefolder", "/media"}), "v");
    EXPECT_EQ(call({"openfilenames", "[\"wav\"]"}), "v");
    // A proposed name with the folder used last time starts there, unless it is gone.
    EXPECT_EQ(call({"savefilename", file("config") + "/Take", "wav"}), "v");
    EXPECT_EQ(call({"savefilename", file("gone") + "/Take.wav", "wav"}), "v");
    auto request = [this]() {
        std::string text = nextEvent();
        const std::string head = event({"fs", "choose", ""});
        EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
        return Json::parse(text.substr(std::min(text.size(), head.size())), nullptr, false);
    };
    EXPECT_EQ(request(), (Json{{"kind", "openfilename"}, {"folder", music}, {"extensions", {"wav", "mp3"}}}));
    EXPECT_EQ(request(), (Json{{"kind", "openfilename"}, {"folder", "/media/x"}, {"extensions", Json::array()}}));
    EXPECT_EQ(request(), (Json{{"kind", "savefilename"}, {"folder", documents}, {"name", "Song.Final.wav"}, {"extension", "wav"}}));
    EXPECT_EQ(request(), (Json{{"kind", "choosefolder"}, {"folder", "/media"}}));
    EXPECT_EQ(request(), (Json{{"kind", "openfilenames"}, {"folder", music}, {"extensions", {"wav"}}}));
    EXPECT_EQ(request(), (Json{{"kind", "savefilename"}, {"folder", file("config")}, {"name", "Take.wav"}, {"extension", "wav"}}));
    EXPECT_EQ(request(), (Json{{"kind", "savefilename"}, {"folder", documents}, {"name", "Take.wav"}, {"extension", "wav"}}));
    EXPECT_EQ(eventsWithin(200), std::vector<std::string>{}) << "no answer of the host's own";
}

}  // namespace
