// Local file names as the system keeps them: bytes that need not be UTF-8. A QString cannot hold
// every such name (Qt replaces what is not UTF-8), so the window keeps paths as std::string from
// the command line, drops, dialogs and playlists to the game, and decodes them only to show them.
// GUI thread; the functions own nothing (some read folders).
#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace Kesh::GUI {

// path made absolute from the current folder (nothing is read, links are kept).
std::string AbsolutePath(const std::string& path);
// The whole path, and its file name (after the last "/"), as shown to the user.
QString ShownPath(const std::string& path);
QString ShownName(const std::string& path);
// A path handed over by Qt (a file dialog) as bytes. Qt shows a name that is not UTF-8 with
// replacement characters, which no longer name the file; such a part of the path is matched
// against the entries of its folder that show the same way.
std::string LocalPathOf(const QString& path);
std::vector<std::string> LocalPathsOf(const QStringList& paths);
// Paths already held as bytes (dropped files).
std::vector<std::string> LocalPathsOf(const QByteArrayList& paths);
// Whether path is a regular file that can be read; else false and why ("no such file", "is a
// folder", "is not a regular file", or the system's reason).
[[nodiscard]] bool IsReadableFile(const std::string& path, std::string* why = nullptr);

}  // namespace Kesh::GUI
