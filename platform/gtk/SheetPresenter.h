#pragma once

#include "base/MainLoop.h"
#include "main/page/PanelPresenter.h"

namespace tovarin {

// Runs panels as GTK dialogs and file choosers. With `attachesSheets` and a window on
// screen, a panel blocks only that window (the rest of the program keeps working);
// otherwise it is modal for the whole program. Completions always come later, from
// the main loop: no nested loop is ever spun. Lives on the main loop.
class SheetPresenter final : public PanelPresenter {
 public:
  enum class Attachment { sheets, applicationModal };

  SheetPresenter(MainLoop& loop, Attachment attachment);

  void runAlert(AlertPanel panel, std::shared_ptr<Window> window,
                std::function<void(AlertResult)> completion) override;
  void runOpenPanel(OpenPanel panel, std::shared_ptr<Window> window,
                    std::function<void(std::optional<std::vector<std::string>>)> completion) override;
  void runSavePanel(SavePanel panel, std::shared_ptr<Window> window,
                    std::function<void(std::optional<std::string>)> completion) override;

  bool attachesSheets() const { return attachment_ == Attachment::sheets; }

 private:
  MainLoop& loop_;
  const Attachment attachment_;
};

}  // namespace tovarin
