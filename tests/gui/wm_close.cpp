// wm_close PID TITLE: asks the visible top-level window of process PID titled TITLE to close, the
// way a window manager's close button does: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW
// (unlike destroying the window, the program can ask and refuse). Exit status 0 when the message
// was sent, 1 when no such window exists, 2 without a display. Test helper; owns its X connection.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

template <typename Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const Owned<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name),
                            nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

Owned<xcb_get_property_reply_t> Property(xcb_connection_t* connection, xcb_window_t window,
                                         xcb_atom_t property, xcb_atom_t type) {
  return {xcb_get_property_reply(
              connection, xcb_get_property(connection, 0, window, property, type, 0, 256), nullptr),
          &std::free};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wm_close PID TITLE\n");
    return 2;
  }
  const long pid = std::strtol(argv[1], nullptr, 10);
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    std::fprintf(stderr, "wm_close: no display\n");
    return 2;
  }
  const xcb_atom_t protocols = Atom(connection, "WM_PROTOCOLS");
  const xcb_atom_t deleteWindow = Atom(connection, "WM_DELETE_WINDOW");
  const xcb_atom_t windowPid = Atom(connection, "_NET_WM_PID");
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;

  const Owned<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
  int sent = 0;
  if (tree) {
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      const xcb_window_t window = children[i];
      const Owned<xcb_get_window_attributes_reply_t> attributes(
          xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window),
                                          nullptr),
          &std::free);
      if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        continue;
      }
      const auto owner = Property(connection, window, windowPid, XCB_ATOM_CARDINAL);
      if (!owner || xcb_get_property_value_length(owner.get()) != 4 ||
          *static_cast<const uint32_t*>(xcb_get_property_value(owner.get())) != pid) {
        continue;
      }
      const auto name = Property(connection, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY);
      const std::string title =
          name ? std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                             xcb_get_property_value_length(name.get()))
               : std::string();
      // Match the whole title: Qt gives its other top-level windows (tool tips, menus) the
      // application's name, and a close request sent to one of those is ignored.
      if (title != argv[2]) {
        std::fprintf(stderr, "wm_close: passing over window 0x%x \"%s\"\n", window, title.c_str());
        continue;
      }
      xcb_client_message_event_t event{};
      event.response_type = XCB_CLIENT_MESSAGE;
      event.format = 32;
      event.window = window;
      event.type = protocols;
      event.data.data32[0] = deleteWindow;
      event.data.data32[1] = XCB_CURRENT_TIME;
      // Waits until the server has carried the request out: libxcb shuts the socket down on
      // disconnect, and a server that sees the hang-up before it reads the request drops the
      // request with the connection (that lost the close now and then).
      const Owned<xcb_generic_error_t> error(
          xcb_request_check(connection,
                            xcb_send_event_checked(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                   reinterpret_cast<const char*>(&event))),
          &std::free);
      if (error) {
        std::fprintf(stderr, "wm_close: the server refused the request (error %d)\n",
                     error->error_code);
        break;
      }
      std::printf("wm_close: asked window 0x%x \"%s\" to close\n", window, title.c_str());
      ++sent;
      break;
    }
  }
  xcb_flush(connection);
  xcb_disconnect(connection);
  return sent > 0 ? 0 : 1;
}
