#include "app/message_box.h"

#include "app/log.h"

namespace Kesh::App {

void IMessageBox::Notice(const std::string& text) { Log("%s", text.c_str()); }

void LogMessageBox::Show(const std::string& text, const std::string& caption, Icon icon) {
  Log("%s: %s", caption.c_str(), text.c_str());
}

}  // namespace Kesh::App
