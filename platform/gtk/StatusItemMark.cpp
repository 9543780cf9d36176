#include "platform/gtk/StatusItemMark.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>

#include "base/Log.h"

namespace tovarin::StatusItemMark {

std::optional<std::string> renderPng(const std::string& svgPath, const std::string& directory,
                                     const std::string& name, int pixels) {
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
  const std::string path = directory + "/" + name + ".png";
  if (!gdk_pixbuf_save(image, path.c_str(), "png", &error, nullptr)) {
    log("status item: cannot write the mark: " + std::string(error ? error->message : path));
    return std::nullopt;
  }
  return path;
}

}  // namespace tovarin::StatusItemMark
