#include "platform/gtk/StatusItemMark.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>

#include <filesystem>

#include "base/Log.h"

namespace tovarin::StatusItemMark {
namespace {

// A PNG drawn earlier at this size from the SVG as it is now: the PNG carries the SVG's
// time of change, so any other SVG (an upgrade installs files with their own, older
// times) is drawn again. Reusing it keeps the SVG renderer, which is large, out of the
// launch.
bool drawnAlready(const std::string& svgPath, const std::string& pngPath, int pixels) {
  namespace fs = std::filesystem;
  std::error_code error;
  const auto drawnAt = fs::last_write_time(pngPath, error);
  if (error) return false;
  const auto changedAt = fs::last_write_time(svgPath, error);
  if (error || drawnAt != changedAt) return false;
  int width = 0;
  int height = 0;
  // Reads the PNG's header only.
  return gdk_pixbuf_get_file_info(pngPath.c_str(), &width, &height) != nullptr && width == pixels && height == pixels;
}

}  // namespace

std::optional<std::string> renderPng(const std::string& svgPath, const std::string& directory,
                                     const std::string& name, int pixels) {
  const std::string path = directory + "/" + name + ".png";
  if (drawnAlready(svgPath, path, pixels)) return path;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GdkPixbuf) image = gdk_pixbuf_new_from_file_at_size(svgPath.c_str(), pixels, pixels, &error);
  if (!image) {
    log("status item: cannot draw the mark: " + std::string(error ? error->message : svgPath));
    return std::nullopt;
  }
  if (g_mkdir_with_parents(directory.c_str(), 0700) != 0) {
    log("status item: cannot create " + directory);
    return std::nullopt;
  }
  if (!gdk_pixbuf_save(image, path.c_str(), "png", &error, nullptr)) {
    log("status item: cannot write the mark: " + std::string(error ? error->message : path));
    return std::nullopt;
  }
  std::error_code ignored;
  const auto changedAt = std::filesystem::last_write_time(svgPath, ignored);
  if (!ignored) std::filesystem::last_write_time(path, changedAt, ignored);
  return path;
}

}  // namespace tovarin::StatusItemMark
