// A file manager's drag in miniature: a small window at the screen's top left that a test
// drags files from with the pointer (XTest), offering them as text/uri-list the way file
// managers do.   usage: x_drag_source FILE...   prints "ready" once it is on the screen.
#include <gtk/gtk.h>
#include <cstdio>
#include <vector>

namespace {

std::vector<gchar*> uris;

void onDragDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* selection, guint, guint, gpointer) {
    std::vector<gchar*> list = uris;
    list.push_back(nullptr);
    gtk_selection_data_set_uris(selection, list.data());
}

gboolean onMapped(GtkWidget*, GdkEvent*, gpointer) {
    std::printf("ready\n");
    std::fflush(stdout);
    return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) uris.push_back(g_filename_to_uri(argv[i], nullptr, nullptr));
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "drag source");
    gtk_window_set_default_size(GTK_WINDOW(window), 120, 120);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    GtkWidget* area = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(window), area);
    GtkTargetEntry target = {const_cast<gchar*>("text/uri-list"), 0, 0};
    gtk_drag_source_set(area, GDK_BUTTON1_MASK, &target, 1, GDK_ACTION_COPY);
    g_signal_connect(area, "drag-data-get", G_CALLBACK(onDragDataGet), nullptr);
    g_signal_connect(window, "map-event", G_CALLBACK(onMapped), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
