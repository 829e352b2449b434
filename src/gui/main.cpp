// tavro [FILE...]: the program. Opens the main window; songs, projects or a playlist given on the
// command line open as a drop would, and the first one plays.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "game/hub.h"
#include "gui/local_files.h"
#include "gui/mainframe.h"
#include "tavro/version.h"

namespace {

// SIGTERM (the session ends), SIGINT (Ctrl+C in a terminal) and SIGHUP end the program the way
// "Yes" to "Really quit?" does, so the profile and the window rectangle are kept. The handler only
// writes a byte; the window thread reads it.
int signalPipe[2] = {-1, -1};

void OnSignal(int /*signal*/) {
  const char byte = 1;
  (void)!write(signalPipe[1], &byte, 1);
}

void CatchQuitSignals() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
    return;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    sigaction(signal, &action, nullptr);
  }
}

const char* const kUsage =
    "usage: tavro [FILE...]\n"
    "Plays MIDI songs (.mid, .kar), projects (.kesh) or one playlist (.m3u) as a stage show.\n"
    "  -h, --help     prints this and ends\n"
    "  --version      prints the version and ends\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted too; see tavro(1).\n";

// --help and --version are answered before the window system is touched, so they work without a
// display. "--" ends the options: what follows is a file even when it begins with "-".
bool AnswerInformationOptions(int argc, char** argv, int* status) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      break;
    }
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      *status = 0;
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tavro %s\n", Tavro::kVersion);
      *status = 0;
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (int status = 0; AnswerInformationOptions(argc, argv, &status)) {
    return status;
  }
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Quillon"));
  QCoreApplication::setApplicationName(QStringLiteral("Tavro"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(Tavro::kVersion));
  CatchQuitSignals();

  // Files are taken relative to the folder the user started from, before the program moves to
  // its data folder (config, artists, styles), which every data path is relative to.
  // The arguments' bytes, not QCoreApplication::arguments(): a file name need not be UTF-8.
  // "--" ends the options: what follows is a file even when it begins with "-".
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    if (options && std::strcmp(argv[i], "--") == 0) {
      options = false;
      continue;
    }
    files.push_back(Kesh::GUI::AbsolutePath(argv[i]));
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
    QSocketNotifier quitSignal(signalPipe[0], QSocketNotifier::Read);
    quitSignal.setEnabled(signalPipe[0] >= 0);
    QObject::connect(&quitSignal, &QSocketNotifier::activated, &window, [&window] {
      char byte = 0;
      (void)!read(signalPipe[0], &byte, 1);
      window.Quit();
    });
    window.show();
    if (!files.empty()) {
      QTimer::singleShot(0, &window, [&window, files] { window.OpenFiles(files); });
    }
    status = QApplication::exec();
    // The game stops its frame thread before the window that it paints goes.
    Kesh::Hub::Destroy();
  }
  return status;
}
