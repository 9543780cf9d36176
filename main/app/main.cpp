// TheTovarin: one single-instance desktop application. A second start hands its URLs
// (or a plain activation) to the running one and ends.

#include <memory>

#include "base/NetworkThread.h"
#include "main/app/AppProgram.h"
#include "platform/gtk/AppGtkApplication.h"

int main(int argc, char** argv) {
  using tovarin::AppProgram;
  tovarin::AppGtkApplication application("com.orvik.TheTovarin");
  std::unique_ptr<AppProgram> program;
  // Built on the first event of the primary instance, once GTK is initialised; a URL
  // that starts the program arrives before the launch and waits in the delegate.
  auto ensureProgram = [&]() -> AppProgram& {
    if (!program) program = std::make_unique<AppProgram>(application);
    return *program;
  };
  tovarin::AppGtkApplication::Events events;
  events.launch = [&] { ensureProgram().delegate().didFinishLaunching(); };
  events.open = [&](const std::vector<std::string>& urls) { ensureProgram().delegate().openUrls(urls); };
  events.reopen = [&] {
    if (program) program->delegate().reopen();
  };
  events.terminate = [&] {
    if (program) program->delegate().willTerminate();
  };
  events.resignActive = [&] {
    if (program) program->delegate().willResignActive();
  };
  const int status = application.run(argc, argv, std::move(events));
  // The termination steps have run. A request still in flight must not complete into
  // a queue that the program's end destroys.
  tovarin::NetworkThread::shared().stop();
  program.reset();
  return status;
}
