#include "gui/qt_seams.h"

#include <QMessageBox>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/log.h"

namespace Kesh::GUI {

namespace {
// Held by the sender while it builds and queues a call, and taken by the call before it reads what
// it carries. Qt's event queue already orders the two, but with locks ThreadSanitizer cannot see;
// this one it can, so it does not report the hand-off as a race.
std::mutex handOff;
}  // namespace

QtWindow::QtWindow(QObject* context, Handler handler)
    : context(context), handler(std::make_shared<Handler>(std::move(handler))) {}

void QtWindow::Post(unsigned message, uintptr_t first, intptr_t second) {
  QObject* target = context.data();
  if (target == nullptr) {
    return;
  }
  const std::lock_guard<std::mutex> queue(handOff);
  QMetaObject::invokeMethod(
      target,
      [h = handler, message, first, second] {
        { const std::lock_guard<std::mutex> received(handOff); }
        (*h)(message, first, second);
      },
      Qt::QueuedConnection);
}

bool QtWindow::Send(unsigned message, uintptr_t first, intptr_t second,
                    const std::atomic<bool>* abandon) {
  QObject* target = context.data();
  if (target == nullptr) {
    return false;
  }
  if (QThread::currentThread() == target->thread()) {
    (*handler)(message, first, second);
    return true;
  }
  // The wait state outlives an abandoned request: the queued call may still run later.
  struct Wait {
    std::mutex mutex;
    std::condition_variable done;
    bool handled = false;
  };
  auto wait = std::make_shared<Wait>();
  std::unique_lock<std::mutex> queue(handOff);
  QMetaObject::invokeMethod(
      target,
      [h = handler, wait, message, first, second] {
        { const std::lock_guard<std::mutex> received(handOff); }
        (*h)(message, first, second);
        const std::lock_guard<std::mutex> hold(wait->mutex);
        wait->handled = true;
        wait->done.notify_all();
      },
      Qt::QueuedConnection);
  queue.unlock();
  std::unique_lock<std::mutex> hold(wait->mutex);
  while (!wait->handled) {
    if (abandon != nullptr && abandon->load()) {
      return false;
    }
    wait->done.wait_for(hold, std::chrono::milliseconds(5));
  }
  return true;
}

void QtMessageBox::Show(const std::string& text, const std::string& caption, Icon icon) {
  Kesh::Log("%s: %s", caption.c_str(), text.c_str());
  if (sink) {
    sink(text);
    return;
  }
  const QMessageBox::Icon shown = icon == Icon::kError     ? QMessageBox::Critical
                                  : icon == Icon::kWarning ? QMessageBox::Warning
                                                           : QMessageBox::Information;
  QMessageBox box(shown, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.exec();
}

void QtMessageBox::Notice(const std::string& text) {
  if (!notice || parent == nullptr) {
    IMessageBox::Notice(text);
    return;
  }
  // Queued to the window's thread; dropped when the window is gone by then.
  QMetaObject::invokeMethod(
      parent, [handler = notice, text] { handler(text); }, Qt::QueuedConnection);
}

}  // namespace Kesh::GUI
