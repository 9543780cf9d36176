#pragma once

#include <string>

#include "main/desktop/AppIdentity.h"

struct _GtkWidget;
struct _GtkWindow;

namespace tovarin {

// The About window: the desktop's standard About dialog with the product name, the
// version, the credits and the mark. One at a time; showing it again brings it to the
// front. Main thread only.
class AboutGtkDialog final {
 public:
  AboutGtkDialog() = default;
  ~AboutGtkDialog();
  AboutGtkDialog(const AboutGtkDialog&) = delete;
  AboutGtkDialog& operator=(const AboutGtkDialog&) = delete;

  // logoPath: an image file for the logo; empty for none. owner: the window it stays
  // above (the program's active one), so that activating the program does not cover it.
  void show(const AboutInfo& info, const std::string& logoPath, _GtkWindow* owner);
  _GtkWidget* dialog() const { return dialog_; }

 private:
  _GtkWidget* dialog_ = nullptr;
};

}  // namespace tovarin
