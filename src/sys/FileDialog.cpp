#include "sys/FileDialog.h"

#include "base/Json.h"
#include "sys/DialogAnswers.h"
#include "sys/Paths.h"
#include "sys/UserFolders.h"

#include <cctype>
#include <cstdlib>
#include <strings.h>
#include <deque>
#include <gtk/gtk.h>
#include <memory>

namespace {

struct Request {
    std::unique_ptr<FileDialog> dialog;
    GtkWindow* owner;
    FileDialog::Finish finish;
};

// Requests waiting while another dialog is on screen (main thread only).
std::deque<Request> waiting;
bool showing = false;

bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// GTK may not be up yet when the host runs without a window but has a display. A display
// that could not be opened is tried again at the next dialog: it may only have been
// starting (a session coming up, an X server just launched).
bool gtkReady() {
    static bool ready = false;
    if (!ready) ready = gtk_init_check(nullptr, nullptr);
    return ready;
}

void finishRequest(Request& request, const std::vector<std::string>& picked) {
    std::string path = request.dialog->answerAll(picked);
    if (request.finish) request.finish(path);
}

// An answers file's line as the paths picked: one path, or for a dialog of several
// files the tab-separated paths (an empty line is a cancel either way).
std::vector<std::string> answeredPaths(const FileDialog& dialog, const std::string& line) {
    std::vector<std::string> paths;
    if (line.empty()) return paths;
    if (!dialog.multiple()) return {line};
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        if (tab > from) paths.push_back(line.substr(from, tab - from));
    if (from < line.size()) paths.push_back(line.substr(from));
    return paths;
}

void showNext();

void onResponse(GtkNativeDialog* native, gint response, gpointer data) {
    std::unique_ptr<Request> request(static_cast<Request*>(data));
    std::vector<std::string> picked;
    if (response == GTK_RESPONSE_ACCEPT) {
        GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(native));
        for (GSList* at = files; at; at = at->next) picked.push_back(static_cast<const char*>(at->data));
        g_slist_free_full(files, g_free);
    }
    g_object_unref(native);
    showing = false;
    finishRequest(*request, picked);
    showNext();
}

void showNext() {
    if (showing || waiting.empty()) return;
    auto request = std::make_unique<Request>(std::move(waiting.front()));
    waiting.pop_front();
    const FileDialog& dialog = *request->dialog;
    GtkFileChooserNative* native =
        gtk_file_chooser_native_new(dialog.title(), request->owner, static_cast<GtkFileChooserAction>(dialog.action()),
                                    dialog.acceptLabel(), "_Cancel");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(native), TRUE);
    dialog.configure(GTK_FILE_CHOOSER(native));
    showing = true;
    g_signal_connect(native, "response", G_CALLBACK(onResponse), request.release());
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(native));
}

void addFilter(GtkFileChooser* chooser, const std::string& name, const std::vector<std::string>& patterns) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, name.c_str());
    for (const std::string& pattern : patterns) gtk_file_filter_add_pattern(filter, pattern.c_str());
    gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
}

bool hasExtension(const std::string& path) { return nameOf(path).find('.') != std::string::npos; }

// "Song.Final.wav" ends in ".wav"; "Song.Final" does not, though it has a dot.
bool endsWithExtension(const std::string& name, const std::string& extension) {
    if (name.size() <= extension.size() + 1) return false;
    size_t at = name.size() - extension.size();
    return name[at - 1] == '.' && strcasecmp(name.c_str() + at, extension.c_str()) == 0;
}

}  // namespace

std::string extensionPattern(const std::string& extension) {
    std::string pattern = "*.";
    for (char c : extension) {
        unsigned char u = static_cast<unsigned char>(c);
        if (std::isalpha(u))
            pattern += std::string("[") + static_cast<char>(std::tolower(u)) + static_cast<char>(std::toupper(u)) + "]";
        else if (c == '*' || c == '?' || c == '[' || c == ']')
            pattern += std::string("[") + c + "]";
        else
            pattern += c;
    }
    return pattern;
}

void FileDialog::show(FileDialog* dialog, GtkWindow* owner, Finish finish) {
    Request request{std::unique_ptr<FileDialog>(dialog), owner, std::move(finish)};
    if (dialogAnswersConfigured()) return finishRequest(request, answeredPaths(*request.dialog, nextDialogAnswer()));
    if (!haveDisplay() || !gtkReady()) return finishRequest(request, {});
    waiting.push_back(std::move(request));
    showNext();
}

bool FileDialog::canShowWindow() { return !dialogAnswersConfigured() && haveDisplay() && gtkReady(); }

std::string FileDialog::answerAll(const std::vector<std::string>& picked) const {
    return picked.empty() || picked.front().empty() ? std::string() : answer(picked.front());
}

OpenPanel::OpenPanel(std::vector<std::string> extensions, std::string folder, bool multiple)
    : extensions_(std::move(extensions)), multiple_(multiple) {
    second_ = std::move(folder);
}

std::string OpenPanel::answerAll(const std::vector<std::string>& picked) const {
    if (!multiple_) return FileDialog::answerAll(picked);
    Json paths = Json::array();
    for (const std::string& path : picked) paths.push_back(path);
    return jsonText(paths);
}

int OpenPanel::action() const { return GTK_FILE_CHOOSER_ACTION_OPEN; }

std::string OpenPanel::filterName() const {
    std::string name;
    for (const std::string& extension : extensions_) name += (name.empty() ? "" : "/") + extension;
    return name;
}

std::vector<std::string> OpenPanel::filterPatterns() const {
    std::vector<std::string> patterns;
    for (const std::string& extension : extensions_) patterns.push_back(extensionPattern(extension));
    return patterns;
}

void OpenPanel::configure(GtkFileChooser* chooser) const {
    gtk_file_chooser_set_select_multiple(chooser, multiple_);
    if (!extensions_.empty()) addFilter(chooser, filterName(), filterPatterns());
    std::string start = startFolder();
    if (!start.empty()) gtk_file_chooser_set_current_folder(chooser, start.c_str());
}

// Without a folder asked for, the user's music (else the documents) rather than an
// empty "Recent" view.
std::string OpenPanel::startFolder() const {
    std::string start = folder();
    if (start.empty()) start = userFolder("XDG_MUSIC_DIR");
    if (start.empty()) start = documentsFolder();
    return start;
}

SavePanel::SavePanel(std::string name, std::string extension) {
    first_ = std::move(name);
    second_ = std::move(extension);
}

int SavePanel::action() const { return GTK_FILE_CHOOSER_ACTION_SAVE; }

// A name typed without any extension gets the dialog's extension, as the user expects.
std::string SavePanel::answer(const std::string& picked) const {
    if (extension().empty() || hasExtension(picked)) return picked;
    return picked + "." + extension();
}

void SavePanel::configure(GtkFileChooser* chooser) const {
    if (!extension().empty()) addFilter(chooser, extension(), {extensionPattern(extension())});
    addFilter(chooser, "*", {"*"});
    gtk_file_chooser_set_current_folder(chooser, startFolder().c_str());
    std::string proposed = proposedName();
    if (!proposed.empty()) gtk_file_chooser_set_current_name(chooser, proposed.c_str());
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
}

// A proposed name may carry the folder to start in ("/home/u/Takes/Take.wav"): the folder
// the same kind of file was saved in last time. A folder that is gone is not used.
std::string SavePanel::startFolder() const {
    auto slash = name().rfind('/');
    if (slash != std::string::npos && slash > 0) {
        std::string folder = name().substr(0, slash);
        if (g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) return folder;
    }
    return documentsFolder();
}

std::string SavePanel::proposedName() const {
    std::string base = name().substr(name().rfind('/') == std::string::npos ? 0 : name().rfind('/') + 1);
    return base.empty() || extension().empty() || endsWithExtension(base, extension()) ? base : base + "." + extension();
}

ChooseFolder::ChooseFolder(std::string folder) { first_ = std::move(folder); }

int ChooseFolder::action() const { return GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER; }

std::string ChooseFolder::answer(const std::string& picked) const { return withSlash(picked); }

void ChooseFolder::configure(GtkFileChooser* chooser) const {
    if (!folder().empty()) gtk_file_chooser_set_current_folder(chooser, folder().c_str());
}
