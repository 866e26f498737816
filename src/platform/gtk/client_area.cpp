#include "platform/gtk/client_area.h"

namespace {

struct WgsClientArea {
    GtkFixed parent;
};
struct WgsClientAreaClass {
    GtkFixedClass parentClass;
};

G_DEFINE_TYPE(WgsClientArea, wgs_client_area, GTK_TYPE_FIXED)

constexpr const char* kWidth = "wgs-width";
constexpr const char* kHeight = "wgs-height";

void noPreferredSize(GtkWidget*, gint* minimum, gint* natural) {
    *minimum = 0;
    *natural = 0;
}

void allocate(GtkWidget* widget, GtkAllocation* allocation) {
    gtk_widget_set_allocation(widget, allocation);
    const bool ownWindow = gtk_widget_get_has_window(widget);
    if (ownWindow && gtk_widget_get_realized(widget)) {
        gdk_window_move_resize(gtk_widget_get_window(widget), allocation->x, allocation->y, allocation->width,
                               allocation->height);
    }
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* l = children; l != nullptr; l = l->next) {
        GtkWidget* child = GTK_WIDGET(l->data);
        if (!gtk_widget_get_visible(child)) continue;
        int x = 0;
        int y = 0;
        gtk_container_child_get(GTK_CONTAINER(widget), child, "x", &x, "y", &y, nullptr);
        // GTK wants every child measured before it is allocated.
        GtkRequisition minimum;
        gtk_widget_get_preferred_size(child, &minimum, nullptr);
        GtkAllocation a;
        a.x = x + (ownWindow ? 0 : allocation->x);
        a.y = y + (ownWindow ? 0 : allocation->y);
        a.width = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(child), kWidth));
        a.height = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(child), kHeight));
        if (a.width < 1) a.width = 1;
        if (a.height < 1) a.height = 1;
        gtk_widget_size_allocate(child, &a);
    }
    g_list_free(children);
}

void wgs_client_area_class_init(WgsClientAreaClass* klass) {
    GtkWidgetClass* widgetClass = GTK_WIDGET_CLASS(klass);
    widgetClass->get_preferred_width = noPreferredSize;
    widgetClass->get_preferred_height = noPreferredSize;
    widgetClass->size_allocate = allocate;
}

void wgs_client_area_init(WgsClientArea* area) {
    // Its own X window clips the children to the client area.
    gtk_widget_set_has_window(GTK_WIDGET(area), TRUE);
}

}  // namespace

namespace wgs::gtkbackend {

GtkWidget* clientAreaNew() {
    return GTK_WIDGET(g_object_new(wgs_client_area_get_type(), nullptr));
}

void clientAreaPlace(GtkWidget* area, GtkWidget* child, int x, int y, int width, int height) {
    g_object_set_data(G_OBJECT(child), kWidth, GINT_TO_POINTER(width));
    g_object_set_data(G_OBJECT(child), kHeight, GINT_TO_POINTER(height));
    gtk_widget_set_child_visible(child, width > 0 && height > 0);
    if (gtk_widget_get_parent(child) == area) {
        gtk_fixed_move(GTK_FIXED(area), child, x, y);
    } else {
        gtk_fixed_put(GTK_FIXED(area), child, x, y);
    }
    gtk_widget_queue_resize(area);
}

}  // namespace wgs::gtkbackend
