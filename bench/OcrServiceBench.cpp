// Text recognition of one picture through OcrService (tesseract kept loaded on the
// recognition queue), first and second request, against the `tesseract` command on the
// same picture and languages, all in one run. The first request loads the language
// data, as the command does every time; the second must not.
//
//   build/default/bench/OcrServiceBench [--runs N] [picture]
//
// Default picture: tests/fixtures/ocr/screenshot.png under the working directory.
// Reports medians in milliseconds and the ratios to the command's median.

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glib.h>

#include "base/ChildProcess.h"
#include "base/SerialQueue.h"
#include "main/capture/OcrService.h"
#include "platform/gtk/GlibMainLoop.h"
#include "platform/linux/TesseractRecognizer.h"

using namespace tovarin;
using Clock = std::chrono::steady_clock;

namespace {

double milliseconds(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One request through the service, timed from the call to its completion.
double timedRequest(OcrService& service, const std::vector<uint8_t>& picture, std::string& text) {
  std::optional<OcrResult> result;
  const auto start = Clock::now();
  service.recognizeData(picture, [&](OcrResult r) { result = std::move(r); });
  while (!result) g_main_context_iteration(nullptr, TRUE);
  const double elapsed = milliseconds(start);
  text = result->ok() ? result->text : "(failed: " + ocrFailureMessage(*result->failure) + ")";
  return elapsed;
}

double timedCommand(const std::string& picture) {
  const auto start = Clock::now();
  auto launch = ChildProcess::launch(
      ChildProcessOptions{"/usr/bin/tesseract", {picture, "-", "-l", "chi_sim+eng"}, ".", {"PATH=/usr/bin:/bin"}, false, true});
  if (!launch.process) return -1;
  (void)launch.process->readAllOutput();
  (void)launch.process->wait();
  return milliseconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::string picture = "tests/fixtures/ocr/screenshot.png";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      picture = argument;
    }
  }
  std::ifstream file(picture, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (bytes.empty()) {
    std::fprintf(stderr, "cannot read %s\n", picture.c_str());
    return 1;
  }

  GlibMainLoop loop;
  std::vector<double> first, second, command;
  std::string text;
  for (int run = 0; run < runs; ++run) {
    // A fresh service and engine per run, so that every first request loads the data.
    SerialQueue queue(std::string(OcrService::queueLabel));
    OcrService fresh(loop, queue, std::make_shared<TesseractRecognizer>());
    first.push_back(timedRequest(fresh, bytes, text));
    second.push_back(timedRequest(fresh, bytes, text));
    command.push_back(timedCommand(picture));
  }
  const double commandMs = median(command);
  std::printf("picture: %s (%zu bytes), %d runs, languages chi_sim+eng\n", picture.c_str(), bytes.size(), runs);
  std::printf("%-28s %10s %8s\n", "", "median ms", "ratio");
  std::printf("%-28s %10.1f %8s\n", "tesseract command", commandMs, "1.00");
  std::printf("%-28s %10.1f %8.2f  (goal <= 1.10)\n", "OcrService first request", median(first), median(first) / commandMs);
  std::printf("%-28s %10.1f %8.2f  (goal <= 0.70)\n", "OcrService second request", median(second), median(second) / commandMs);
  std::printf("text: %s\n", text.c_str());
  return 0;
}
