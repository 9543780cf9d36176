#pragma once

#include <memory>
#include <string>
#include <vector>

#include "main/bridges/DropHost.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkDragContext GdkDragContext;
typedef struct _GtkSelectionData GtkSelectionData;
typedef struct _cairo cairo_t;

namespace tovarin {

class Window;
class WebView;

// The main window as a drop target for local files, with its highlight: while an
// acceptable drag is over the window, a rounded frame and the chip
// "松开，在本机提取文字" are drawn over the page, fading in and out. The window itself is
// the drag destination; the web view inside keeps taking file drags until the page is
// ready, then stops (takeFileDropsFromPage). Main loop only.
class GtkDropHost final : public DropHost {
 public:
  // Nothing when the window or the web view was not made by the GTK desktop.
  [[nodiscard]] static std::shared_ptr<GtkDropHost> create(Window& window, WebView& webView);
  GtkDropHost(GtkWidget* window, GtkWidget* webView);
  ~GtkDropHost() override;
  GtkDropHost(const GtkDropHost&) = delete;
  GtkDropHost& operator=(const GtkDropHost&) = delete;

  void setFilesHandler(FilesHandler handler) override { handler_ = std::move(handler); }
  void takeFileDropsFromPage() override;

  bool overlayActive() const { return active_; }
  // The local files of a text/uri-list, in order, that the program reads.
  static std::vector<std::string> acceptableFiles(const std::string& uriList);

 private:
  enum class Pending { none, motion, drop };

  static int onMotion(GtkWidget*, GdkDragContext*, int, int, unsigned, void*);
  static void onLeave(GtkWidget*, GdkDragContext*, unsigned, void*);
  static int onDrop(GtkWidget*, GdkDragContext*, int, int, unsigned, void*);
  static void onData(GtkWidget*, GdkDragContext*, int, int, GtkSelectionData*, unsigned, unsigned, void*);
  static int onDraw(GtkWidget*, cairo_t*, void*);
  static int onFadeTick(void*);

  void setActive(bool active);
  void draw(cairo_t* cr);

  GtkWidget* window_;
  GtkWidget* webView_;
  std::vector<unsigned long> handlers_;
  FilesHandler handler_;
  Pending pending_ = Pending::none;
  bool active_ = false;
  double alpha_ = 0;
  double fadeFrom_ = 0;
  double fadeStart_ = 0;  // monotonic seconds
  unsigned fadeSource_ = 0;
};

}  // namespace tovarin
