// The window's file dialogs: what they offer, and names as the system keeps them (bytes). A save
// dialog adds its extension to a name typed without it before it asks whether to replace an
// existing file. GUI thread only; the dialogs are modal and gone when the call returns.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class QWidget;

namespace Kesh::GUI::FileDialogs {

// The open dialog's filters, the first (everything the window opens) chosen at first.
QStringList OpenFilters();
// The playlist's "Add item(s)..." filters: songs and projects first.
QStringList AddFilters();
inline const QString kProjectFilter = QStringLiteral("Kesh Project Files (*.kesh)");
inline const QString kPlaylistFilter = QStringLiteral("Playlist Files (*.m3u)");

// Existing files; empty when the user cancels.
std::vector<std::string> OpenFiles(QWidget* parent, const QString& title,
                                   const QStringList& filters);
// A file to write, ending in "." + suffix; empty when the user cancels. The overwrite question
// names the file with its extension.
std::string SaveFile(QWidget* parent, const QString& title, const QString& filter,
                     const QString& suffix);

}  // namespace Kesh::GUI::FileDialogs
