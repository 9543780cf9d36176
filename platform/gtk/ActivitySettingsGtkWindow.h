#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/activity_ui/ActivitySettingsView.h"

typedef struct _GtkWidget GtkWidget;

namespace tovarin {

class ActivityController;

// The record's settings window: draws the page the view description gives for the
// controller's model, brings the drawn widgets up to date after every change, and hands
// each control back to the controller. Created once; closing hides it. Main loop only.
class ActivitySettingsGtkWindow final {
 public:
  static constexpr int width = 600;
  static constexpr int height = 760;
  static constexpr int minimumWidth = 520;
  static constexpr int minimumHeight = 420;

  ActivitySettingsGtkWindow(MainLoop& loop, std::weak_ptr<ActivityController> controller);
  ~ActivitySettingsGtkWindow();
  ActivitySettingsGtkWindow(const ActivitySettingsGtkWindow&) = delete;
  ActivitySettingsGtkWindow& operator=(const ActivitySettingsGtkWindow&) = delete;

  // Centred the first time; later where the user left it.
  void present(std::function<void()> onClosed);
  // Draws again at the next turn of the loop; several calls draw once.
  void scheduleRender();
  [[nodiscard]] GtkWidget* widget() const { return window_; }

  // The style sheet, made from the design tokens.
  [[nodiscard]] static std::string css();

  // For the C callbacks.
  void closed();
  void performControl(const ActivitySettingsView::Control& control, bool on, int64_t value);

 private:
  // What is on screen for one element or card. A new description is shown in the same
  // widgets wherever its layout is unchanged, so the 2 s poll's republishing leaves the
  // keyboard focus, a half-typed value and the scroll position alone.
  struct ElementWidgets {
    ActivitySettingsView::Element shown;
    GtkWidget* row = nullptr;
    std::vector<GtkWidget*> labels;    // one for each of text, detail, extra that is not empty
    std::vector<GtkWidget*> controls;  // in the element's order
  };
  struct CardWidgets {
    std::string title;
    GtkWidget* box = nullptr;
    std::vector<ElementWidgets> elements;
  };

  void render();
  void showCards(const std::vector<ActivitySettingsView::Card>& cards);
  void showElements(CardWidgets& card, const std::vector<ActivitySettingsView::Element>& elements);
  [[nodiscard]] ElementWidgets makeElement(const ActivitySettingsView::Element& element);

  MainLoop& loop_;
  std::weak_ptr<ActivityController> controller_;
  GtkWidget* window_ = nullptr;
  GtkWidget* scroller_ = nullptr;
  GtkWidget* column_ = nullptr;
  GtkWidget* title_ = nullptr;
  GtkWidget* explanation_ = nullptr;
  GtkWidget* footer_ = nullptr;
  std::vector<CardWidgets> cards_;
  std::function<void()> onClosed_;
  bool renderPending_ = false;
  bool rendering_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tovarin
