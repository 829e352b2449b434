#include "gui/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "gui/local_files.h"

namespace Kesh::GUI::FileDialogs {

QStringList OpenFilters() {
  return {QStringLiteral("Songs, projects and playlists (*.mid *.midi *.kar *.kesh *.m3u)"),
          QStringLiteral("MIDI Files (*.mid *.midi *.kar)"), kProjectFilter, kPlaylistFilter,
          QStringLiteral("All Files (*)")};
}

QStringList AddFilters() {
  return {QStringLiteral("Songs and projects (*.mid *.midi *.kar *.kesh)"),
          QStringLiteral("MIDI Files (*.mid *.midi *.kar)"), QStringLiteral("All Files (*)")};
}

std::vector<std::string> OpenFiles(QWidget* parent, const QString& title,
                                   const QStringList& filters) {
  QFileDialog dialog(parent, title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.value(0));
  if (dialog.exec() != QDialog::Accepted) {
    return {};
  }
  return LocalPathsOf(dialog.selectedFiles());
}

std::string SaveFile(QWidget* parent, const QString& title, const QString& filter,
                     const QString& suffix) {
  QFileDialog dialog(parent, title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  // Qt's own dialog adds the default suffix before it asks about replacing a file; a desktop's
  // dialog may ask about the name as typed and leave the suffix to the caller.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDefaultSuffix(suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  QString path = dialog.selectedFiles().front();
  const QString extension = QStringLiteral(".") + suffix;
  if (!path.endsWith(extension, Qt::CaseInsensitive)) {
    // A name with another extension ("live.take2"): the suffix goes after it, and the question
    // the dialog asked was about the name without it.
    path += extension;
    if (QFileInfo::exists(path) &&
        QMessageBox::question(parent, dialog.windowTitle(),
                              QObject::tr("%1 already exists.\nDo you want to replace it?")
                                  .arg(QFileInfo(path).fileName())) != QMessageBox::Yes) {
      return {};
    }
  }
  return LocalPathOf(path);
}

}  // namespace Kesh::GUI::FileDialogs
