// Peak memory of recognising one picture that promises many pixels. Each picture is
// recognised in a child process of its own: the child loads the engine on a small
// picture, resets its peak resident size to the present one, recognises the picture
// and reports how far the peak rose, with the result and the time it took.
//
//   build/default/bench/OcrMemoryBench [--only NAME]
//
// Run from the source tree (the warm-up picture is tests/fixtures/ocr/english.png).
// The pictures are made here with leptonica, all pixels alike, so they compress to
// little: a GIF of one 20 000 x 20 000 frame, GIFs of 40 and 60 frames of
// 4 000 x 4 000, and the largest PNG the recogniser accepts (RGB, blank).

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <leptonica/allheaders.h>

#include "bench/BenchSupport.h"
#include "platform/ocr/TesseractRecognizer.h"

using namespace tovarin;
using namespace tovarin::bench;
using Bytes = std::vector<uint8_t>;

namespace {

struct Picture {
  std::string name;
  Bytes bytes;
};

Bytes encoded(Pix* pix, int format) {
  l_uint8* data = nullptr;
  size_t size = 0;
  const int failed = format == IFF_GIF ? pixWriteMemGif(&data, &size, pix) : pixWriteMemPng(&data, &size, pix, 0.0f);
  pixDestroy(&pix);
  Bytes bytes;
  if (failed == 0) bytes.assign(data, data + size);
  lept_free(data);
  return bytes;
}

// A picture of one colour: a 1-bit one, or a white RGB one.
Pix* plain(int width, int height, int depth) {
  Pix* pix = pixCreate(width, height, depth);
  if (depth == 32) pixSetAll(pix);
  return pix;
}

// Leptonica writes the signature, the screen, its colour table, one frame and the
// trailer; the frame is repeated before the trailer.
Bytes animated(int width, int height, int frames) {
  const Bytes single = encoded(plain(width, height, 1), IFF_GIF);
  const uint8_t flags = single.at(10);
  const size_t frameStart = 13 + ((flags & 0x80) ? size_t{3} << ((flags & 0x07) + 1) : 0);
  if (single.at(frameStart) != 0x2C || single.back() != 0x3B) return {};
  Bytes out(single.begin(), single.begin() + static_cast<std::ptrdiff_t>(frameStart));
  for (int i = 0; i < frames; ++i) out.insert(out.end(), single.begin() + static_cast<std::ptrdiff_t>(frameStart), single.end() - 1);
  out.push_back(0x3B);
  return out;
}

// Linux resets the peak resident size to the present one on "5".
bool resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

std::string outcome(const OcrResult& result) {
  if (result.ok()) return "text";
  switch (*result.failure) {
    case OcrFailure::decode: return "decode";
    case OcrFailure::empty: return "empty";
    case OcrFailure::timeout: return "timeout";
    case OcrFailure::engine: return "engine";
    case OcrFailure::tooLarge: return "tooLarge";
  }
  return "?";
}

[[noreturn]] void measureInChild(const Picture& picture, const Bytes& warmUp) {
  const std::vector<std::string> languages = {"zh-Hans", "en-US"};
  TesseractRecognizer recognizer;
  (void)recognizer.recognize(warmUp, languages);
  const long before = statusKilobytes("self", "VmRSS");
  const bool reset = resetPeak();
  const auto start = std::chrono::steady_clock::now();
  const OcrResult result = recognizer.recognize(picture.bytes, languages);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const long peak = statusKilobytes("self", "VmHWM");
  std::printf("%-30s %10zu %-9s %10.0f %10.1f%s\n", picture.name.c_str(), picture.bytes.size(), outcome(result).c_str(), ms,
              (peak - before) / 1024.0, reset ? "" : "  (peak not reset: absolute)");
  std::fflush(stdout);
  std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--only" && i + 1 < argc) only = argv[++i];
  }
  std::ifstream file("tests/fixtures/ocr/english.png", std::ios::binary);
  const Bytes warmUp{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (warmUp.empty()) {
    std::fprintf(stderr, "run from the source tree: cannot read tests/fixtures/ocr/english.png\n");
    return 1;
  }
  setMsgSeverity(L_SEVERITY_NONE);
  const int side = static_cast<int>(std::sqrt(static_cast<double>(TesseractRecognizer::maxPixels)));
  const std::vector<std::pair<std::string, std::function<Bytes()>>> makers = {
      {"gif-1x20000x20000", [] { return encoded(plain(20000, 20000, 1), IFF_GIF); }},
      {"gif-40x4000x4000", [] { return animated(4000, 4000, 40); }},
      {"gif-60x4000x4000", [] { return animated(4000, 4000, 60); }},
      {"png-" + std::to_string(side) + "x" + std::to_string(side) + "-rgb", [side] { return encoded(plain(side, side, 32), IFF_PNG); }},
  };
  std::printf("%-30s %10s %-9s %10s %10s\n", "picture", "bytes", "result", "ms", "peak +MB");
  std::fflush(stdout);
  for (const auto& [name, make] : makers) {
    if (!only.empty() && name != only) continue;
    const Picture picture{name, make()};
    if (picture.bytes.empty()) {
      std::fprintf(stderr, "%s: could not be made\n", name.c_str());
      return 1;
    }
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) measureInChild(picture, warmUp);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("%-30s child ended abnormally\n", name.c_str());
  }
  return 0;
}
