#include "platform/linux/XcbConnection.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tovarin {

XcbConnection::XcbConnection(const std::string& displayName) {
  int screenNumber = 0;
  connection_ = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
  if (xcb_connection_has_error(connection_)) return;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem > 0) root_ = screens.data->root;
}

XcbConnection::~XcbConnection() {
  // xcb_connect never returns null: even a failed connection must be disconnected.
  if (connection_) xcb_disconnect(connection_);
}

bool XcbConnection::ok() const { return connection_ && !xcb_connection_has_error(connection_) && root_ != 0; }

std::uint32_t XcbConnection::atom(const std::string& name) {
  if (auto found = atoms_.find(name); found != atoms_.end()) return found->second;
  if (!ok()) return 0;
  auto cookie = xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.c_str());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection_, cookie, nullptr), &std::free);
  if (!reply) return 0;
  atoms_[name] = reply->atom;
  return reply->atom;
}

std::optional<XcbConnection::Property> XcbConnection::property(std::uint32_t window, std::uint32_t atom,
                                                               std::uint32_t maxBytes) {
  if (!ok() || window == 0 || atom == 0) return std::nullopt;
  auto cookie = xcb_get_property(connection_, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, (maxBytes + 3) / 4);
  xcb_generic_error_t* error = nullptr;
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection_, cookie, &error), &std::free);
  std::free(error);
  if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
  const int length = xcb_get_property_value_length(reply.get());
  const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
  return Property{reply->type, std::string(value, static_cast<size_t>(length > 0 ? length : 0))};
}

std::optional<std::uint32_t> XcbConnection::firstWord(std::uint32_t window, std::uint32_t atom) {
  const std::optional<Property> value = property(window, atom, 4);
  if (!value || value->bytes.size() < 4) return std::nullopt;
  if (value->type != XCB_ATOM_CARDINAL && value->type != XCB_ATOM_WINDOW) return std::nullopt;
  std::uint32_t word = 0;
  std::memcpy(&word, value->bytes.data(), sizeof word);
  return word;
}

}  // namespace tovarin
