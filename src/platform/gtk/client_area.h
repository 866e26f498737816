// The client area of a top-level window: children sit at exact rectangles,
// as Windows child windows do, and the area itself asks for no size, so a
// control larger than the window never makes the window grow.
#pragma once

#include <gtk/gtk.h>

namespace wgs::gtkbackend {

GtkWidget* clientAreaNew();
// Places a child at `x`,`y` (may be negative) with exactly `width` x `height`;
// a child with no area is kept but not drawn.
void clientAreaPlace(GtkWidget* area, GtkWidget* child, int x, int y, int width, int height);

}  // namespace wgs::gtkbackend
