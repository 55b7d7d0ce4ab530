#include "DesktopAccessible.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <cmath>
#include <utility>

// Four GObject types: the window (a GtkWindow whose accessible type is ours),
// its accessible (GTK's window accessible with the widget as one more child),
// the widget (a push button with the action and the texts) and a text (a
// label with AtkText). GTK makes the window's accessible when a reader first
// asks; the widget's lives with the window.

namespace kelvo::desktop {
namespace {

constexpr const char* kWidgetKey = "kelvo-widget-accessible";

struct KelvoWindow {
  GtkWindow parent;
};
struct KelvoWindowClass {
  GtkWindowClass parent_class;
};
struct KelvoWindowAccessible {
  GtkWindowAccessible parent;
};
struct KelvoWindowAccessibleClass {
  GtkWindowAccessibleClass parent_class;
};

// What the widget's accessible holds, behind its instance.
struct WidgetState {
  GtkWidget* window = nullptr;  // not owned: the window owns the widget's accessible
  std::function<void()> activate;
  std::vector<ui::ReadText> texts;
  std::string description;
  std::vector<AtkObject*> children;  // one label per text, owned
};
struct KelvoWidgetAccessible {
  AtkObject parent;
  WidgetState* state;
};
struct KelvoWidgetAccessibleClass {
  AtkObjectClass parent_class;
};

struct KelvoTextAccessible {
  AtkObject parent;
  std::string* text;
  ui::Rect frame;  // widget points, the window's coordinates
  GtkWidget* window;
  int index;
};
struct KelvoTextAccessibleClass {
  AtkObjectClass parent_class;
};

GType kelvo_window_get_type();
GType kelvo_window_accessible_get_type();
GType kelvo_widget_accessible_get_type();
GType kelvo_text_accessible_get_type();
void kelvo_widget_component_init(AtkComponentIface* iface);
void kelvo_widget_action_init(AtkActionIface* iface);
void kelvo_text_text_init(AtkTextIface* iface);
void kelvo_text_component_init(AtkComponentIface* iface);

// G_DEFINE_TYPE's helpers cast between pointer types that -Wpedantic finds fault with.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
G_DEFINE_TYPE(KelvoWindow, kelvo_window, GTK_TYPE_WINDOW)
G_DEFINE_TYPE(KelvoWindowAccessible, kelvo_window_accessible, GTK_TYPE_WINDOW_ACCESSIBLE)
G_DEFINE_TYPE_WITH_CODE(KelvoWidgetAccessible, kelvo_widget_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, kelvo_widget_component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, kelvo_widget_action_init))
G_DEFINE_TYPE_WITH_CODE(KelvoTextAccessible, kelvo_text_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, kelvo_text_text_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, kelvo_text_component_init))
#pragma GCC diagnostic pop

KelvoWidgetAccessible* widgetOf(GtkWidget* window) {
  return static_cast<KelvoWidgetAccessible*>(g_object_get_data(G_OBJECT(window), kWidgetKey));
}

// `frame` (window coordinates) in the coordinates asked for; a mapped window is needed for the screen's.
void extentsOf(GtkWidget* window, const ui::Rect& frame, gint* x, gint* y, gint* width, gint* height,
               AtkCoordType coords) {
  int originX = 0, originY = 0;
  GdkWindow* shown = window ? gtk_widget_get_window(window) : nullptr;
  if (coords == ATK_XY_SCREEN && shown) gdk_window_get_origin(shown, &originX, &originY);
  *x = originX + int(std::lround(frame.x));
  *y = originY + int(std::lround(frame.y));
  *width = int(std::lround(frame.width));
  *height = int(std::lround(frame.height));
}

AtkStateSet* withShownStates(AtkStateSet* states) {
  for (const AtkStateType state :
       {ATK_STATE_ENABLED, ATK_STATE_SENSITIVE, ATK_STATE_VISIBLE, ATK_STATE_SHOWING})
    atk_state_set_add_state(states, state);
  return states;
}

// The window: its accessible is ours; the widget's is made with it.

void kelvo_window_class_init(KelvoWindowClass* klass) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), kelvo_window_accessible_get_type());
}
void kelvo_window_init(KelvoWindow*) {}

gint windowChildren(AtkObject* object) {
  return ATK_OBJECT_CLASS(kelvo_window_accessible_parent_class)->get_n_children(object) + 1;
}
AtkObject* windowChild(AtkObject* object, gint index) {
  if (index > 0) return ATK_OBJECT_CLASS(kelvo_window_accessible_parent_class)->ref_child(object, index - 1);
  GtkWidget* window = gtk_accessible_get_widget(GTK_ACCESSIBLE(object));
  KelvoWidgetAccessible* widget = window && index == 0 ? widgetOf(window) : nullptr;
  if (!widget) return nullptr;
  atk_object_set_parent(ATK_OBJECT(widget), object);
  return ATK_OBJECT(g_object_ref(widget));
}
void kelvo_window_accessible_class_init(KelvoWindowAccessibleClass* klass) {
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->get_n_children = windowChildren;
  atk->ref_child = windowChild;
}
void kelvo_window_accessible_init(KelvoWindowAccessible*) {}

// The widget: a push button called "Kelvo" over the whole window.

void dropChildren(KelvoWidgetAccessible* widget) {
  auto& children = widget->state->children;
  for (size_t i = children.size(); i-- > 0;) {
    g_signal_emit_by_name(widget, "children-changed::remove", gint(i), children[i]);
    g_object_unref(children[i]);
  }
  children.clear();
}

void widgetFinalize(GObject* object) {
  auto* widget = reinterpret_cast<KelvoWidgetAccessible*>(object);
  for (AtkObject* child : widget->state->children) g_object_unref(child);
  delete widget->state;
  G_OBJECT_CLASS(kelvo_widget_accessible_parent_class)->finalize(object);
}
gint widgetChildren(AtkObject* object) {
  return gint(reinterpret_cast<KelvoWidgetAccessible*>(object)->state->children.size());
}
AtkObject* widgetChild(AtkObject* object, gint index) {
  const auto& children = reinterpret_cast<KelvoWidgetAccessible*>(object)->state->children;
  if (index < 0 || size_t(index) >= children.size()) return nullptr;
  return ATK_OBJECT(g_object_ref(children[size_t(index)]));
}
AtkStateSet* widgetStates(AtkObject* object) {
  return withShownStates(ATK_OBJECT_CLASS(kelvo_widget_accessible_parent_class)->ref_state_set(object));
}
gint firstChild(AtkObject*) { return 0; }

void kelvo_widget_accessible_class_init(KelvoWidgetAccessibleClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = widgetFinalize;
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->get_n_children = widgetChildren;
  atk->ref_child = widgetChild;
  atk->ref_state_set = widgetStates;
  atk->get_index_in_parent = firstChild;
}
void kelvo_widget_accessible_init(KelvoWidgetAccessible* widget) {
  widget->state = new WidgetState;
  atk_object_set_role(ATK_OBJECT(widget), ATK_ROLE_PUSH_BUTTON);
  atk_object_set_name(ATK_OBJECT(widget), "Kelvo");
}

void kelvo_widget_component_init(AtkComponentIface* iface) {
  iface->get_extents = [](AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
                          AtkCoordType coords) {
    GtkWidget* window = reinterpret_cast<KelvoWidgetAccessible*>(component)->state->window;
    const ui::Rect whole{0, 0, window ? double(gtk_widget_get_allocated_width(window)) : 0,
                         window ? double(gtk_widget_get_allocated_height(window)) : 0};
    extentsOf(window, whole, x, y, width, height, coords == ATK_XY_PARENT ? ATK_XY_WINDOW : coords);
  };
}

// Readers wait for the answer; the link opens once it is sent.
gboolean widgetActivate(AtkAction* action, gint index) {
  if (index != 0) return FALSE;
  auto* widget = reinterpret_cast<KelvoWidgetAccessible*>(action);
  g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      [](gpointer data) -> gboolean {
        auto* state = static_cast<KelvoWidgetAccessible*>(data)->state;
        if (state->activate) state->activate();
        return G_SOURCE_REMOVE;
      },
      g_object_ref(widget), g_object_unref);
  return TRUE;
}

void kelvo_widget_action_init(AtkActionIface* iface) {
  iface->do_action = widgetActivate;
  iface->get_n_actions = [](AtkAction*) -> gint { return 1; };
  iface->get_name = [](AtkAction*, gint index) -> const gchar* { return index == 0 ? "click" : nullptr; };
}

// A text: a label whose name and text are what the view draws.

void textFinalize(GObject* object) {
  delete reinterpret_cast<KelvoTextAccessible*>(object)->text;
  G_OBJECT_CLASS(kelvo_text_accessible_parent_class)->finalize(object);
}
AtkStateSet* textStates(AtkObject* object) {
  return withShownStates(ATK_OBJECT_CLASS(kelvo_text_accessible_parent_class)->ref_state_set(object));
}
gint textIndex(AtkObject* object) { return reinterpret_cast<KelvoTextAccessible*>(object)->index; }

void kelvo_text_accessible_class_init(KelvoTextAccessibleClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = textFinalize;
  ATK_OBJECT_CLASS(klass)->ref_state_set = textStates;
  ATK_OBJECT_CLASS(klass)->get_index_in_parent = textIndex;
}
void kelvo_text_accessible_init(KelvoTextAccessible* text) {
  text->text = new std::string;
  atk_object_set_role(ATK_OBJECT(text), ATK_ROLE_LABEL);
}

const std::string& textOf(AtkText* text) { return *reinterpret_cast<KelvoTextAccessible*>(text)->text; }

void kelvo_text_text_init(AtkTextIface* iface) {
  iface->get_character_count = [](AtkText* text) -> gint {
    return gint(g_utf8_strlen(textOf(text).c_str(), -1));
  };
  // Characters start_offset up to end_offset (-1: the end).
  iface->get_text = [](AtkText* text, gint start, gint end) -> gchar* {
    const std::string& whole = textOf(text);
    const glong count = g_utf8_strlen(whole.c_str(), -1);
    const glong from = std::clamp<glong>(start, 0, count);
    const glong to = end < 0 ? count : std::clamp<glong>(end, from, count);
    return g_utf8_substring(whole.c_str(), from, to);
  };
  iface->get_caret_offset = [](AtkText*) -> gint { return -1; };
}

void kelvo_text_component_init(AtkComponentIface* iface) {
  iface->get_extents = [](AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
                          AtkCoordType coords) {
    auto* text = reinterpret_cast<KelvoTextAccessible*>(component);
    // The widget fills the window, so its coordinates are the window's.
    extentsOf(text->window, text->frame, x, y, width, height,
              coords == ATK_XY_PARENT ? ATK_XY_WINDOW : coords);
  };
}

}  // namespace

GtkWidget* newAccessibleWindow(std::function<void()> activate) {
  GtkWidget* window = GTK_WIDGET(g_object_new(kelvo_window_get_type(), "type", GTK_WINDOW_TOPLEVEL, nullptr));
  auto* widget =
      static_cast<KelvoWidgetAccessible*>(g_object_new(kelvo_widget_accessible_get_type(), nullptr));
  widget->state->window = window;
  widget->state->activate = std::move(activate);
  g_object_set_data_full(G_OBJECT(window), kWidgetKey, widget, g_object_unref);
  // A reader may hold the widget's accessible, or have an activation on its
  // way, after the window (and whoever `activate` calls) is gone.
  g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget* window, gpointer) {
                     if (KelvoWidgetAccessible* widget = widgetOf(window)) {
                       widget->state->activate = nullptr;
                       widget->state->window = nullptr;
                       for (AtkObject* child : widget->state->children)
                         reinterpret_cast<KelvoTextAccessible*>(child)->window = nullptr;
                     }
                   }),
                   nullptr);
  return window;
}

void updateAccessible(GtkWidget* window, std::vector<ui::ReadText> texts, const std::string& description) {
  KelvoWidgetAccessible* widget = widgetOf(window);
  if (!widget) return;
  WidgetState& state = *widget->state;
  if (description != state.description) {
    state.description = description;
    atk_object_set_description(ATK_OBJECT(widget), description.c_str());
  }
  if (texts == state.texts) return;
  dropChildren(widget);
  state.texts = std::move(texts);
  for (const ui::ReadText& read : state.texts) {
    auto* text = static_cast<KelvoTextAccessible*>(g_object_new(kelvo_text_accessible_get_type(), nullptr));
    *text->text = read.text;
    text->frame = read.frame;
    text->window = window;
    text->index = gint(state.children.size());
    atk_object_set_name(ATK_OBJECT(text), read.text.c_str());
    atk_object_set_parent(ATK_OBJECT(text), ATK_OBJECT(widget));
    state.children.push_back(ATK_OBJECT(text));
    g_signal_emit_by_name(widget, "children-changed::add", text->index, text);
  }
}

}  // namespace kelvo::desktop
