#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _GtkWindow GtkWindow;
typedef struct _GtkFileChooser GtkFileChooser;

// One request for a file dialog. show() runs on the main thread: it shows the GTK file
// chooser modal to the owner window (one dialog at a time: later requests wait their turn)
// and hands the chosen path, or "" when cancelled, to the finish function. With
// TARN_DIALOG_ANSWERS set, the answer comes from that file instead (see DialogAnswers.h);
// without a display, the dialog is cancelled at once.
class FileDialog {
public:
    using Finish = std::function<void(const std::string& path)>;
    virtual ~FileDialog() = default;

    // Takes ownership of the request (it is deleted once finished).
    static void show(FileDialog* dialog, GtkWindow* owner, Finish finish);
    // Whether show() would put a window on screen: a display and no answers file.
    // Main thread only.
    static bool canShowWindow();

    // The folder the dialog starts in ("" for the chooser's own choice).
    virtual std::string startFolder() const { return std::string(); }

    // The answer as the page receives it, from the path the user picked ("" stays "").
    virtual std::string answer(const std::string& picked) const { return picked; }
    // Whether the user may pick several files; the answer is then built from all of them.
    virtual bool multiple() const { return false; }
    // The answer from every path picked (none: cancelled); by default the first one's.
    virtual std::string answerAll(const std::vector<std::string>& picked) const;
    // The GtkFileChooserAction and the chooser's settings.
    virtual int action() const = 0;
    virtual void configure(GtkFileChooser* chooser) const = 0;
    virtual const char* title() const = 0;
    virtual const char* acceptLabel() const = 0;

protected:
    std::string first_, second_;
};

// Open dialog: an existing file, filtered by the extensions (none: every file). With
// `multiple`, several files, answered as a JSON array of their paths ("[]" when cancelled).
class OpenPanel : public FileDialog {
public:
    OpenPanel(std::vector<std::string> extensions, std::string folder, bool multiple = false);
    int action() const override;
    bool multiple() const override { return multiple_; }
    std::string answerAll(const std::vector<std::string>& picked) const override;
    void configure(GtkFileChooser* chooser) const override;
    const char* title() const override { return "Open"; }
    const char* acceptLabel() const override { return "_Open"; }
    const std::vector<std::string>& extensions() const { return extensions_; }
    const std::string& folder() const { return second_; }
    // The folder asked for, else the user's music, else the documents.
    std::string startFolder() const override;
    // Description and glob patterns of the one filter entry ("wav/mp3", "*.wav"...).
    std::string filterName() const;
    std::vector<std::string> filterPatterns() const;

private:
    std::vector<std::string> extensions_;
    bool multiple_;
};

// Save dialog: proposed name, the extension appended when the user types none, the
// documents folder to start in, and a confirmation before replacing a file.
class SavePanel : public FileDialog {
public:
    SavePanel(std::string name, std::string extension);
    std::string answer(const std::string& picked) const override;
    int action() const override;
    void configure(GtkFileChooser* chooser) const override;
    const char* title() const override { return "Save As"; }
    const char* acceptLabel() const override { return "_Save"; }
    const std::string& name() const { return first_; }
    const std::string& extension() const { return second_; }
    // The folder of a proposed name given with one (when it exists), else the documents.
    std::string startFolder() const override;
    // The name shown at first: the proposed one without its folder, with the extension
    // when it has none.
    std::string proposedName() const;
};

// Folder dialog: the chosen folder ends in "/".
class ChooseFolder : public FileDialog {
public:
    explicit ChooseFolder(std::string folder);
    std::string answer(const std::string& picked) const override;
    int action() const override;
    void configure(GtkFileChooser* chooser) const override;
    const char* title() const override { return "Select Folder"; }
    const char* acceptLabel() const override { return "_Select"; }
    const std::string& folder() const { return first_; }
    std::string startFolder() const override { return folder(); }
};

// Case-insensitive glob for one extension: "wav" -> "*.[wW][aA][vV]".
std::string extensionPattern(const std::string& extension);
