// tavro [FILE...]: the program. Opens the main window; songs, projects or a playlist given on the
// command line open as a drop would, and the first one plays.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "game/hub.h"
#include "gui/mainframe.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Quillon"));
  QCoreApplication::setApplicationName(QStringLiteral("Tavro"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAVRO_VERSION));

  // Files are taken relative to the folder the user started from, before the program moves to
  // its data folder (config, artists, styles), which every data path is relative to.
  QStringList files;
  for (const QString& argument : QCoreApplication::arguments().mid(1)) {
    files << QFileInfo(argument).absoluteFilePath();
  }
  const QString data = QString::fromStdString(Kesh::Hub::DataDirectory());
  if (!data.isEmpty()) {
    QDir::setCurrent(data);
  }

  int status = 0;
  {
    Kesh::Hub& hub = *Kesh::Hub::Instance();
    Kesh::GUI::Mainframe window(
        {hub.GetPlayer(), &hub.LoadMutex(), &hub.FrameLock(), hub.StartDirectory()});
    hub.CreateGame(window.GetFrontEnd(), 815, 400);
    window.AttachGame(hub.GetGame());
    if (hub.GetPlayer() == nullptr) {
      window.ShowNotice(QString::fromStdString(hub.ModuleMissingMessage()));
    }
    window.show();
    if (!files.isEmpty()) {
      QTimer::singleShot(0, &window, [&window, files] { window.OpenFiles(files); });
    }
    status = QApplication::exec();
    // The game stops its frame thread before the window that it paints goes.
    Kesh::Hub::Destroy();
  }
  return status;
}
