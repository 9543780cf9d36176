#include "platform/gtk/ActivitySettingsGtkWindow.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "main/activity_ui/ActivityController.h"
#include "tokens/CssNumber.h"
#include "tokens/TovarinColors.h"
#include "tokens/TovarinDimensions.h"

namespace tovarin {
namespace {

namespace View = ActivitySettingsView;

constexpr const char* kBindingKey = "tovarin-activity-control";

// A control's description, kept alive with its widget.
struct Binding {
  ActivitySettingsGtkWindow* window;
  View::Control control;
};

void freeBinding(gpointer data) { delete static_cast<Binding*>(data); }

Binding* bind(GtkWidget* widget, ActivitySettingsGtkWindow* window, const View::Control& control) {
  auto* binding = new Binding{window, control};
  g_object_set_data_full(G_OBJECT(widget), kBindingKey, binding, freeBinding);
  return binding;
}

void addClass(GtkWidget* widget, const char* name) {
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), name);
}

const char* classOf(View::TextKind kind) {
  switch (kind) {
    case View::TextKind::title: return "line-title";
    case View::TextKind::explanation: return "line-explanation";
    case View::TextKind::note: return "line-note";
    case View::TextKind::faint: return "line-faint";
    case View::TextKind::muted: return "line-muted";
  }
  return "line-note";
}

GtkWidget* label(const std::string& text, const char* cssClass) {
  GtkWidget* widget = gtk_label_new(text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
  gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
  gtk_widget_set_halign(widget, GTK_ALIGN_START);
  addClass(widget, cssClass);
  return widget;
}

void onClicked(GtkButton*, gpointer data) {
  auto* binding = static_cast<Binding*>(data);
  binding->window->performControl(binding->control, false, 0);
}

gboolean onStateSet(GtkSwitch*, gboolean state, gpointer data) {
  auto* binding = static_cast<Binding*>(data);
  binding->window->performControl(binding->control, state != FALSE, 0);
  return TRUE;  // the switch keeps showing the record's state until it changes
}

void onStepped(GtkSpinButton* spin, gpointer data) {
  auto* binding = static_cast<Binding*>(data);
  binding->window->performControl(binding->control, false, gtk_spin_button_get_value_as_int(spin));
}

GtkWidget* controlWidget(ActivitySettingsGtkWindow* window, const View::Control& control) {
  GtkWidget* widget = nullptr;
  switch (control.kind) {
    case View::Control::Kind::toggle: {
      widget = gtk_switch_new();
      gtk_switch_set_active(GTK_SWITCH(widget), control.on);
      gtk_switch_set_state(GTK_SWITCH(widget), control.on);
      gtk_widget_set_tooltip_text(widget, control.title.c_str());
      g_signal_connect(widget, "state-set", G_CALLBACK(onStateSet), bind(widget, window, control));
      break;
    }
    case View::Control::Kind::stepper: {
      widget = gtk_spin_button_new_with_range(static_cast<double>(control.minimum), static_cast<double>(control.maximum), 1);
      gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget), static_cast<double>(control.value));
      g_signal_connect(widget, "value-changed", G_CALLBACK(onStepped), bind(widget, window, control));
      break;
    }
    case View::Control::Kind::button: {
      widget = gtk_button_new_with_label(control.title.c_str());
      addClass(widget, control.style == View::Style::primary       ? "button-primary"
                       : control.style == View::Style::destructive ? "button-destructive"
                                                                   : "button-secondary");
      g_signal_connect(widget, "clicked", G_CALLBACK(onClicked), bind(widget, window, control));
      break;
    }
  }
  gtk_widget_set_valign(widget, GTK_ALIGN_CENTER);
  gtk_widget_set_sensitive(widget, control.enabled);
  return widget;
}

// Whether a description can be shown in the widgets drawn for another: the same texts
// present, in the same kinds, and the same controls in kind and style.
bool sameLayout(const View::Element& shown, const View::Element& next) {
  if (shown.text.empty() != next.text.empty() || shown.detail.empty() != next.detail.empty() ||
      shown.extra.empty() != next.extra.empty() || shown.kind != next.kind ||
      shown.controls.size() != next.controls.size()) {
    return false;
  }
  for (size_t i = 0; i < shown.controls.size(); ++i) {
    if (shown.controls[i].kind != next.controls[i].kind || shown.controls[i].style != next.controls[i].style) return false;
  }
  return true;
}

void setLabel(GtkWidget* widget, const std::string& text) {
  if (text != gtk_label_get_text(GTK_LABEL(widget))) gtk_label_set_text(GTK_LABEL(widget), text.c_str());
}

// Brings a drawn control up to a new description. Whatever the setters emit is ignored
// while the window renders.
void updateControl(GtkWidget* widget, const View::Control& control) {
  auto* binding = static_cast<Binding*>(g_object_get_data(G_OBJECT(widget), kBindingKey));
  binding->control = control;
  switch (control.kind) {
    case View::Control::Kind::toggle:
      if ((gtk_switch_get_active(GTK_SWITCH(widget)) != FALSE) != control.on) {
        gtk_switch_set_active(GTK_SWITCH(widget), control.on);
      }
      if ((gtk_switch_get_state(GTK_SWITCH(widget)) != FALSE) != control.on) {
        gtk_switch_set_state(GTK_SWITCH(widget), control.on);
      }
      if (g_autofree char* tooltip = gtk_widget_get_tooltip_text(widget); !tooltip || control.title != tooltip) {
        gtk_widget_set_tooltip_text(widget, control.title.c_str());
      }
      break;
    case View::Control::Kind::stepper: {
      double minimum = 0;
      double maximum = 0;
      gtk_spin_button_get_range(GTK_SPIN_BUTTON(widget), &minimum, &maximum);
      if (minimum != static_cast<double>(control.minimum) || maximum != static_cast<double>(control.maximum)) {
        gtk_spin_button_set_range(GTK_SPIN_BUTTON(widget), static_cast<double>(control.minimum),
                                  static_cast<double>(control.maximum));
      }
      if (gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(widget)) != control.value) {
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget), static_cast<double>(control.value));
      }
      break;
    }
    case View::Control::Kind::button:
      if (control.title != gtk_button_get_label(GTK_BUTTON(widget))) {
        gtk_button_set_label(GTK_BUTTON(widget), control.title.c_str());
      }
      break;
  }
  if ((gtk_widget_get_sensitive(widget) != FALSE) != control.enabled) gtk_widget_set_sensitive(widget, control.enabled);
}

gboolean onDelete(GtkWidget* widget, GdkEvent*, gpointer data) {
  gtk_widget_hide(widget);  // kept for the next showing, where the user left it
  static_cast<ActivitySettingsGtkWindow*>(data)->closed();
  return TRUE;
}

std::string px(double value) { return CssNumber::shortest(value) + "px"; }

}  // namespace

std::string ActivitySettingsGtkWindow::css() {
  std::string sheet;
  sheet += ".activity-settings { background-color: " + TovarinGround::base.lightCSS() + "; }\n";
  sheet += ".paper { background-color: " + TovarinGround::surface.lightCSS() + "; border: 1px solid " +
           TovarinLine::border.lightCSS() + "; border-radius: " + px(TovarinSpace::md) + "; padding: " +
           px(TovarinSpace::lg) + "; }\n";
  sheet += ".page-title { font-size: " + px(TovarinType::title) + "; font-weight: 600; color: " +
           TovarinInk::primary.lightCSS() + "; }\n";
  sheet += ".card-title { font-size: " + px(TovarinType::small) + "; font-weight: 600; color: " +
           TovarinInk::muted.lightCSS() + "; }\n";
  sheet += ".line-title { font-size: " + px(TovarinType::body) + "; color: " + TovarinInk::primary.lightCSS() + "; }\n";
  sheet += ".line-explanation { font-size: " + px(TovarinType::small) + "; color: " + TovarinInk::muted.lightCSS() +
           "; }\n";
  sheet += ".line-note, .line-faint { font-size: " + px(TovarinType::tiny) + "; color: " + TovarinInk::faint.lightCSS() +
           "; }\n";
  sheet += ".line-muted { font-size: " + px(TovarinType::small) + "; color: " + TovarinInk::muted.lightCSS() + "; }\n";
  sheet += ".button-primary { background-image: none; background-color: " + TovarinAccent::base.lightCSS() +
           "; color: " + TovarinAccent::text.lightCSS() + "; }\n";
  sheet += ".button-destructive { color: " + TovarinSignal::danger.lightCSS() + "; }\n";
  sheet += "switch:checked { background-color: " + TovarinAccent::base.lightCSS() + "; }\n";
  return sheet;
}

ActivitySettingsGtkWindow::ActivitySettingsGtkWindow(MainLoop& loop, std::weak_ptr<ActivityController> controller)
    : loop_(loop), controller_(std::move(controller)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(window_);
  gtk_window_set_title(GTK_WINDOW(window_), View::windowTitle);
  gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
  GdkGeometry hints{};
  hints.min_width = minimumWidth;
  hints.min_height = minimumHeight;
  gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &hints, GDK_HINT_MIN_SIZE);
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  addClass(window_, "activity-settings");

  GtkCssProvider* provider = gtk_css_provider_new();
  const std::string sheet = css();
  gtk_css_provider_load_from_data(provider, sheet.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window_), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);

  scroller_ = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller_), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(window_), scroller_);
  g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
  if (auto controller = controller_.lock()) {
    controller->model().setObserver([this, alive = std::weak_ptr<bool>(alive_)] {
      if (alive.lock()) scheduleRender();
    });
  }
  render();
}

ActivitySettingsGtkWindow::~ActivitySettingsGtkWindow() {
  alive_.reset();
  if (auto controller = controller_.lock()) controller->model().setObserver(nullptr);
  g_signal_handlers_disconnect_by_data(window_, this);
  gtk_widget_destroy(window_);
  g_object_unref(window_);
}

void ActivitySettingsGtkWindow::present(std::function<void()> onClosed) {
  assert(loop_.isMainThread());
  onClosed_ = std::move(onClosed);
  render();
  gtk_widget_show_all(window_);
  gtk_window_present(GTK_WINDOW(window_));
}

void ActivitySettingsGtkWindow::closed() {
  if (onClosed_) onClosed_();
}

void ActivitySettingsGtkWindow::scheduleRender() {
  if (renderPending_) return;
  renderPending_ = true;
  loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.lock()) return;
    renderPending_ = false;
    render();
  });
}

void ActivitySettingsGtkWindow::performControl(const View::Control& control, bool on, int64_t value) {
  if (rendering_) return;
  if (auto controller = controller_.lock()) controller->performSetting(control, on, value);
}

ActivitySettingsGtkWindow::ElementWidgets ActivitySettingsGtkWindow::makeElement(const View::Element& element) {
  ElementWidgets widgets;
  widgets.shown = element;
  const int spacing = static_cast<int>(TovarinSpace::md);
  widgets.row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, spacing);
  GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  auto addLabel = [&](const std::string& text, const char* cssClass) {
    GtkWidget* line = label(text, cssClass);
    gtk_box_pack_start(GTK_BOX(texts), line, FALSE, FALSE, 0);
    widgets.labels.push_back(line);
  };
  if (!element.text.empty()) addLabel(element.text, classOf(element.kind));
  if (!element.detail.empty()) addLabel(element.detail, element.extra.empty() ? "line-explanation" : classOf(element.kind));
  if (!element.extra.empty()) addLabel(element.extra, "line-faint");
  const bool controlsFirst = element.text.empty() && element.detail.empty();
  if (!controlsFirst) gtk_box_pack_start(GTK_BOX(widgets.row), texts, TRUE, TRUE, 0);
  for (const View::Control& control : element.controls) {
    GtkWidget* widget = controlWidget(this, control);
    widgets.controls.push_back(widget);
    if (controlsFirst) {
      gtk_box_pack_start(GTK_BOX(widgets.row), widget, FALSE, FALSE, 0);
    } else {
      gtk_box_pack_end(GTK_BOX(widgets.row), widget, FALSE, FALSE, 0);
    }
  }
  if (controlsFirst) {
    widgets.labels.clear();
    g_object_ref_sink(texts);  // never packed: let it go
    g_object_unref(texts);
  }
  return widgets;
}

void ActivitySettingsGtkWindow::showElements(CardWidgets& card, const std::vector<View::Element>& elements) {
  for (size_t i = 0; i < elements.size(); ++i) {
    const View::Element& element = elements[i];
    if (i < card.elements.size() && sameLayout(card.elements[i].shown, element)) {
      ElementWidgets& widgets = card.elements[i];
      const std::string* texts[] = {&element.text, &element.detail, &element.extra};
      size_t next = 0;
      for (const std::string* text : texts) {
        if (!text->empty() && next < widgets.labels.size()) setLabel(widgets.labels[next++], *text);
      }
      for (size_t c = 0; c < element.controls.size(); ++c) updateControl(widgets.controls[c], element.controls[c]);
      widgets.shown = element;
      continue;
    }
    ElementWidgets widgets = makeElement(element);
    gtk_box_pack_start(GTK_BOX(card.box), widgets.row, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(card.box), widgets.row, static_cast<int>(i) + 1);  // after the card's title
    gtk_widget_show_all(widgets.row);
    if (i < card.elements.size()) {
      gtk_widget_destroy(card.elements[i].row);
      card.elements[i] = std::move(widgets);
    } else {
      card.elements.push_back(std::move(widgets));
    }
  }
  while (card.elements.size() > elements.size()) {
    gtk_widget_destroy(card.elements.back().row);
    card.elements.pop_back();
  }
}

// Cards are kept by title, since the key and account cards come and go between others.
void ActivitySettingsGtkWindow::showCards(const std::vector<View::Card>& cards) {
  std::vector<CardWidgets> shown;
  for (size_t i = 0; i < cards.size(); ++i) {
    auto found = std::find_if(cards_.begin(), cards_.end(), [&](const CardWidgets& each) { return each.title == cards[i].title; });
    CardWidgets card;
    if (found != cards_.end()) {
      card = std::move(*found);
      cards_.erase(found);
    } else {
      card.title = cards[i].title;
      card.box = gtk_box_new(GTK_ORIENTATION_VERTICAL, static_cast<int>(TovarinSpace::sm));
      addClass(card.box, "paper");
      gtk_box_pack_start(GTK_BOX(card.box), label(card.title, "card-title"), FALSE, FALSE, 0);
      gtk_box_pack_start(GTK_BOX(column_), card.box, FALSE, FALSE, 0);
      gtk_widget_show_all(card.box);
    }
    showElements(card, cards[i].elements);
    gtk_box_reorder_child(GTK_BOX(column_), card.box, static_cast<int>(i) + 2);  // after the page's title and explanation
    shown.push_back(std::move(card));
  }
  for (CardWidgets& gone : cards_) gtk_widget_destroy(gone.box);
  cards_ = std::move(shown);
}

void ActivitySettingsGtkWindow::render() {
  auto controller = controller_.lock();
  if (!controller) return;
  rendering_ = true;
  const View::Page page = View::describe(controller->model());
  if (!column_) {
    column_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, static_cast<int>(TovarinSpace::lg));
    const int margin = static_cast<int>(TovarinSpace::xl);
    gtk_widget_set_margin_start(column_, margin);
    gtk_widget_set_margin_end(column_, margin);
    gtk_widget_set_margin_top(column_, margin);
    gtk_widget_set_margin_bottom(column_, margin);
    title_ = label(page.title, "page-title");
    explanation_ = label(page.explanation, "line-explanation");
    footer_ = label(page.footer, "line-muted");
    gtk_box_pack_start(GTK_BOX(column_), title_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column_), explanation_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column_), footer_, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(scroller_), column_);
    gtk_widget_show_all(column_);
  }
  setLabel(title_, page.title);
  setLabel(explanation_, page.explanation);
  setLabel(footer_, page.footer);
  showCards(page.cards);
  gtk_box_reorder_child(GTK_BOX(column_), footer_, -1);
  rendering_ = false;
}

}  // namespace tovarin
