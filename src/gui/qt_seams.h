// The Qt side of the core's two seams. QtWindow delivers the core's window messages on the GUI
// thread: Post queues them; Send queues them and waits until they were handled, giving up as soon
// as the caller's abandon flag is set. QtMessageBox shows the core's messages as message boxes and
// its notices through the window's notice line. Post, Send and Notice may be called from any
// thread; Show only on the GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "app/message_box.h"
#include "app/window.h"

class QWidget;

namespace Kesh::GUI {

class QtWindow final : public App::IWindow {
 public:
  using Handler = std::function<void(unsigned message, uintptr_t first, intptr_t second)>;
  // context: the object whose thread handles the messages; messages for a deleted context are
  // dropped (and a waiting Send returns false once abandoned).
  QtWindow(QObject* context, Handler handler);
  void Post(unsigned message, uintptr_t first, intptr_t second) override;
  bool Send(unsigned message, uintptr_t first, intptr_t second,
            const std::atomic<bool>* abandon) override;

 private:
  QPointer<QObject> context;
  std::shared_ptr<Handler> handler;
};

class QtMessageBox final : public App::IMessageBox {
 public:
  using Sink = std::function<void(const std::string& text)>;
  using NoticeHandler = std::function<void(const std::string& text)>;
  // notice runs on the parent's thread; without one, notices go to the log.
  explicit QtMessageBox(QWidget* parent, NoticeHandler notice = {})
      : parent(parent), notice(std::move(notice)) {}
  void Show(const std::string& text, const std::string& caption, Icon icon) override;
  void Notice(const std::string& text) override;
  // While a sink is set, messages go to it (and the log) instead of a box: a playlist run turns
  // them into notices and goes on. An empty sink restores the boxes.
  void Divert(Sink to) { sink = std::move(to); }

 private:
  QWidget* parent;
  NoticeHandler notice;
  Sink sink;
};

}  // namespace Kesh::GUI
