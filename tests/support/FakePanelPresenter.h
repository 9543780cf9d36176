#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/page/PanelPresenter.h"

namespace tovarin {

// Records every panel it is asked to run and lets the test answer them as the user
// would, in any order. Test thread only.
class FakePanelPresenter final : public PanelPresenter {
 public:
  template <typename Panel, typename Result>
  struct Request {
    Panel panel;
    std::shared_ptr<Window> window;
    std::function<void(Result)> completion;
    bool answered() const { return !completion; }
  };
  using AlertRequest = Request<AlertPanel, AlertResult>;
  using OpenRequest = Request<OpenPanel, std::optional<std::vector<std::string>>>;
  using SaveRequest = Request<SavePanel, std::optional<std::string>>;

  void runAlert(AlertPanel panel, std::shared_ptr<Window> window,
                std::function<void(AlertResult)> completion) override;
  void runOpenPanel(OpenPanel panel, std::shared_ptr<Window> window,
                    std::function<void(std::optional<std::vector<std::string>>)> completion) override;
  void runSavePanel(SavePanel panel, std::shared_ptr<Window> window,
                    std::function<void(std::optional<std::string>)> completion) override;

  std::vector<AlertRequest>& alerts() { return alerts_; }
  std::vector<OpenRequest>& openPanels() { return openPanels_; }
  std::vector<SaveRequest>& savePanels() { return savePanels_; }

  // Answers the alert at `index` (the oldest first) as a click on `button`, with the
  // field holding `fieldText`; or as closed without a button when `button` is none.
  void answerAlert(std::size_t index, std::optional<std::size_t> button, std::string fieldText = {});
  void answerOpen(std::size_t index, std::optional<std::vector<std::string>> paths);
  void answerSave(std::size_t index, std::optional<std::string> path);

 private:
  std::vector<AlertRequest> alerts_;
  std::vector<OpenRequest> openPanels_;
  std::vector<SaveRequest> savePanels_;
};

}  // namespace tovarin
