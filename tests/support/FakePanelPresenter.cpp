#include "tests/support/FakePanelPresenter.h"

#include <stdexcept>
#include <utility>

namespace tovarin {
namespace {

template <typename Request, typename Result>
void answer(std::vector<Request>& requests, std::size_t index, Result result) {
  if (index >= requests.size()) throw std::out_of_range("no such panel");
  auto completion = std::exchange(requests[index].completion, nullptr);
  if (!completion) throw std::logic_error("panel answered twice");
  completion(std::move(result));
}

}  // namespace

void FakePanelPresenter::runAlert(AlertPanel panel, std::shared_ptr<Window> window,
                                  std::function<void(AlertResult)> completion) {
  alerts_.push_back({std::move(panel), std::move(window), std::move(completion)});
}

void FakePanelPresenter::runOpenPanel(OpenPanel panel, std::shared_ptr<Window> window,
                                      std::function<void(std::optional<std::vector<std::string>>)> completion) {
  openPanels_.push_back({std::move(panel), std::move(window), std::move(completion)});
}

void FakePanelPresenter::runSavePanel(SavePanel panel, std::shared_ptr<Window> window,
                                      std::function<void(std::optional<std::string>)> completion) {
  savePanels_.push_back({std::move(panel), std::move(window), std::move(completion)});
}

void FakePanelPresenter::answerAlert(std::size_t index, std::optional<std::size_t> button, std::string fieldText) {
  answer(alerts_, index, AlertResult{button, std::move(fieldText)});
}

void FakePanelPresenter::answerOpen(std::size_t index, std::optional<std::vector<std::string>> paths) {
  answer(openPanels_, index, std::move(paths));
}

void FakePanelPresenter::answerSave(std::size_t index, std::optional<std::string> path) {
  answer(savePanels_, index, std::move(path));
}

}  // namespace tovarin
