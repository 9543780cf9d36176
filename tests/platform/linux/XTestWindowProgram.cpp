// A plain X11 window for the desktop tests, described by its arguments:
//   --title T        _NET_WM_NAME (UTF-8) and WM_NAME
//   --legacy-title T WM_NAME only, as Latin-1 (T is given in UTF-8)
//   --class I C      WM_CLASS instance and class
//   --gtk-id ID      _GTK_APPLICATION_ID
// It names its own process in _NET_WM_PID, maps the window and lives until killed.
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t value = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(reply);
  return value;
}

void set(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type, int format, const void* data,
         size_t length) {
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, static_cast<uint8_t>(format),
                      static_cast<uint32_t>(length), data);
}

std::string utf8ToLatin1(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xC0 && i + 1 < text.size()) {
      out.push_back(static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) return 2;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  xcb_screen_t* screen = screens.data;
  const xcb_window_t window = xcb_generate_id(c);
  const uint32_t values[] = {screen->white_pixel};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 50, 50, 320, 200, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
  const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--title" && i + 1 < argc) {
      const std::string title = argv[++i];
      set(c, window, atom(c, "_NET_WM_NAME"), utf8, 8, title.data(), title.size());
      set(c, window, XCB_ATOM_WM_NAME, utf8, 8, title.data(), title.size());
    } else if (flag == "--legacy-title" && i + 1 < argc) {
      const std::string title = utf8ToLatin1(argv[++i]);
      set(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, title.data(), title.size());
    } else if (flag == "--class" && i + 2 < argc) {
      std::string both = std::string(argv[i + 1]) + '\0' + argv[i + 2] + '\0';
      set(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, both.data(), both.size());
      i += 2;
    } else if (flag == "--gtk-id" && i + 1 < argc) {
      const std::string id = argv[++i];
      set(c, window, atom(c, "_GTK_APPLICATION_ID"), utf8, 8, id.data(), id.size());
    }
  }
  const uint32_t pid = static_cast<uint32_t>(::getpid());
  set(c, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
  xcb_map_window(c, window);
  xcb_flush(c);
  while (xcb_generic_event_t* event = xcb_wait_for_event(c)) std::free(event);
  xcb_disconnect(c);
  return 0;
}
