#include "platform/ocr/TesseractRecognizer.h"

#include <filesystem>

#include <leptonica/allheaders.h>
#include <libheif/heif.h>
#include <omp.h>
#include <tesseract/baseapi.h>

#include "base/Log.h"
#include "base/Text.h"
#include "platform/ocr/GifFirstFrame.h"

namespace tovarin {
namespace {

struct PixDeleter {
  void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

struct DecodedPicture {
  PixPtr pix;
  std::optional<OcrFailure> failure;
};

bool isHeif(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 12) return false;
  const auto kind = heif_check_filetype(bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), 64)));
  return kind == heif_filetype_yes_supported || kind == heif_filetype_maybe;
}

bool withinBudget(int64_t width, int64_t height) {
  return width > 0 && height > 0 && static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= TesseractRecognizer::maxPixels;
}

DecodedPicture decodeHeif(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(), heif_context_free);
  if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code != heif_error_Ok) {
    return {nullptr, OcrFailure::decode};
  }
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) return {nullptr, OcrFailure::decode};
  std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(rawHandle, heif_image_handle_release);
  if (!withinBudget(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()))) {
    return {nullptr, OcrFailure::tooLarge};
  }
  heif_image* rawImage = nullptr;
  if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code != heif_error_Ok) {
    return {nullptr, OcrFailure::decode};
  }
  std::unique_ptr<heif_image, decltype(&heif_image_release)> image(rawImage, heif_image_release);
  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (!plane || !withinBudget(width, height)) return {nullptr, OcrFailure::decode};
  PixPtr pix(pixCreate(width, height, 32));
  if (!pix) return {nullptr, OcrFailure::decode};
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = plane + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      pixSetRGBPixel(pix.get(), x, y, row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    }
  }
  return {std::move(pix), std::nullopt};
}

// Leptonica learns a GIF's size by decoding every frame; the blocks tell it without that.
DecodedPicture decodeGif(const std::vector<uint8_t>& bytes) {
  const auto gif = GifFirstFrame::read(bytes);
  if (!gif || gif->width == 0 || gif->height == 0) return {nullptr, OcrFailure::decode};
  // The screen is what a viewer draws the frame on; the frame is what is decoded.
  const uint64_t screenPixels = uint64_t{gif->screenWidth} * gif->screenHeight;
  if (screenPixels > TesseractRecognizer::maxPixels || !withinBudget(gif->width, gif->height)) {
    return {nullptr, OcrFailure::tooLarge};
  }
  const std::vector<uint8_t> first = gif->alone(bytes);
  if (first.empty()) return {nullptr, OcrFailure::decode};
  PixPtr pix(pixReadMemGif(first.data(), first.size()));
  if (!pix) return {nullptr, OcrFailure::decode};
  return {std::move(pix), std::nullopt};
}

DecodedPicture decodePicture(const std::vector<uint8_t>& bytes) {
  if (isHeif(bytes)) return decodeHeif(bytes);
  if (GifFirstFrame::isGif(bytes)) return decodeGif(bytes);
  l_int32 format = 0, width = 0, height = 0, bps = 0, spp = 0, colormap = 0;
  if (pixReadHeaderMem(bytes.data(), bytes.size(), &format, &width, &height, &bps, &spp, &colormap) != 0) {
    return {nullptr, OcrFailure::decode};
  }
  if (!withinBudget(width, height)) return {nullptr, width > 0 && height > 0 ? OcrFailure::tooLarge : OcrFailure::decode};
  PixPtr pix(pixReadMem(bytes.data(), bytes.size()));
  if (!pix) return {nullptr, OcrFailure::decode};
  return {std::move(pix), std::nullopt};
}

std::string joinedLanguages(const std::vector<std::string>& languages, const char* separator) {
  std::string out;
  for (const auto& language : languages) {
    if (!out.empty()) out += separator;
    out += language;
  }
  return out;
}

// Lines as the engine reads them; blank lines between blocks are dropped, so that the
// text is its lines joined by one line feed.
std::string cleanedText(const char* raw) {
  std::string out;
  std::string_view rest(raw ? raw : "");
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string line = text::trimWhitespace(rest.substr(0, end));
    if (!line.empty()) {
      if (!out.empty()) out += '\n';
      out += line;
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return out;
}

// Keeps one recognition on the thread that asked for it. The engine's OpenMP teams
// spin-wait for each other, so with the cores busy elsewhere one picture took a minute
// instead of a second; even on idle cores one thread reads our pictures faster than a
// team. The engine's parallel regions name their own team sizes, which override
// omp_set_num_threads(), so the maximum of active levels is set to 0 instead: every
// region then runs on this thread alone. Like all of OpenMP's settings it belongs to
// the calling thread only, and it is put back afterwards.
class SingleThreadedRun final {
 public:
  SingleThreadedRun() : previousLevels_(omp_get_max_active_levels()) { omp_set_max_active_levels(0); }
  ~SingleThreadedRun() { omp_set_max_active_levels(previousLevels_); }
  SingleThreadedRun(const SingleThreadedRun&) = delete;
  SingleThreadedRun& operator=(const SingleThreadedRun&) = delete;

 private:
  const int previousLevels_;
};

}  // namespace

TesseractRecognizer::TesseractRecognizer(std::string dataPath) : dataPath_(std::move(dataPath)) {
  // Leptonica reports every unreadable picture on standard error; we report it ourselves.
  setMsgSeverity(L_SEVERITY_NONE);
}

TesseractRecognizer::~TesseractRecognizer() {
  for (auto& [languages, engine] : engines_) engine->End();
}

std::string TesseractRecognizer::tesseractLanguage(const std::string& language) {
  if (language == "zh-Hans") return "chi_sim";
  if (language == "en-US") return "eng";
  return {};
}

tesseract::TessBaseAPI* TesseractRecognizer::engineFor(const std::string& languages, std::string& failure) {
  if (auto it = engines_.find(languages); it != engines_.end()) return it->second.get();
  auto engine = std::make_unique<tesseract::TessBaseAPI>();
  engine->SetVariable("debug_file", "/dev/null");
  if (engine->Init(dataPath_.c_str(), languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
    failure = "cannot load " + languages + " from " + dataPath_;
    return nullptr;
  }
  return engines_.emplace(languages, std::move(engine)).first->second.get();
}

OcrResult TesseractRecognizer::recognize(const std::vector<uint8_t>& image, const std::vector<std::string>& languages) {
  DecodedPicture picture = decodePicture(image);
  if (picture.failure) return OcrResult::failed(*picture.failure);

  // The engine skips a language whose data is missing without saying so; a missing
  // language must fail, so that the caller can fall back to the ones that exist.
  std::vector<std::string> codes;
  std::string failure;
  for (const auto& language : languages) {
    const std::string code = tesseractLanguage(language);
    std::error_code ignored;
    if (code.empty() || !std::filesystem::is_regular_file(dataPath_ + "/" + code + ".traineddata", ignored)) {
      failure = "no language data for " + language;
      break;
    }
    codes.push_back(code);
  }
  tesseract::TessBaseAPI* engine = failure.empty() && !codes.empty() ? engineFor(joinedLanguages(codes, "+"), failure) : nullptr;
  if (!engine) {
    log("ocr: 识别引擎失败（" + joinedLanguages(languages, "+") + "）：" + (failure.empty() ? "no language" : failure));
    return OcrResult::failed(OcrFailure::engine);
  }
  SingleThreadedRun singleThreaded;
  engine->SetImage(picture.pix.get());
  std::unique_ptr<char[]> raw(engine->GetUTF8Text());
  engine->Clear();
  const std::string text = cleanedText(raw.get());
  if (text.empty()) return OcrResult::failed(OcrFailure::empty);
  return OcrResult::success(text);
}

}  // namespace tovarin
