#include "gui/tool_bar.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "game/game.h"
#include "gui/dialogs.h"
#include "gui/file_dialogs.h"
#include "gui/game_events.h"
#include "gui/qt_seams.h"
#include "gui/skin.h"
#include "widgets/image_button.h"

namespace Kesh::GUI {

ToolBar::ToolBar(Services given, QWidget* parent) : QWidget(parent), services(std::move(given)) {
  struct Tool {
    Game::ToolCommand id;
    const char* skin;
    const char* tip;
    int left;
    QKeySequence keys;
    void (ToolBar::*command)();
  };
  const Tool list[] = {
      {Game::ToolCommand::kOpen, "open", "Open songs or a playlist (Ctrl+O)", 8,
       QKeySequence(Qt::CTRL | Qt::Key_O), &ToolBar::OpenClicked},
      {Game::ToolCommand::kSettings, "settings", "Settings (Ctrl+F12)", 41,
       QKeySequence(Qt::CTRL | Qt::Key_F12), &ToolBar::Settings},
      {Game::ToolCommand::kHelp, "help", "Help (F1)", 67, QKeySequence(Qt::Key_F1), &ToolBar::Help},
      {Game::ToolCommand::kSave, "save", "Save the show as a project", 100, QKeySequence(),
       &ToolBar::SaveProject}};
  for (const Tool& tool : list) {
    auto* button = new L::ImageButton(Skin(tool.skin), tr(tool.tip), this);
    button->move(tool.left, 3);
    connect(button, &L::ImageButton::clicked, this, tool.command);
    buttons[tool.id] = button;
    if (!tool.keys.isEmpty()) {
      auto* action = new QAction(this);
      action->setShortcut(tool.keys);
      connect(action, &QAction::triggered, this, tool.command);
      addAction(action);
    }
  }
}

void ToolBar::Attach(Game::Game& attached, GameEvents& events) {
  game = &attached;
  connect(&events, &GameEvents::Changed, this, &ToolBar::Refresh);
  Refresh(Game::Change::kTransport);
}

L::ImageButton* ToolBar::Button(Game::ToolCommand id) const {
  const auto found = buttons.find(id);
  return found == buttons.end() ? nullptr : found->second;
}

void ToolBar::Refresh(Game::Change what) {
  if (what != Game::Change::kTransport && what != Game::Change::kSong) {
    return;
  }
  const bool running = game->GetState().running;
  L::ImageButton* save = buttons.at(Game::ToolCommand::kSave);
  save->setEnabled(running);
  save->setToolTip(running ? tr("Save the show as a project")
                           : tr("Save the show as a project (open a song first)"));
}

void ToolBar::SaveProject() {
  if (game == nullptr || !game->GetState().running) {
    return;
  }
  const std::string file = FileDialogs::SaveFile(
      this, tr("Save Project..."), FileDialogs::kProjectFilter, QStringLiteral("kesh"));
  if (file.empty()) {
    return;
  }
  const bool pausedHere = !game->GetState().paused;
  if (pausedHere) {
    game->Pause();
  }
  services.wait->ShowText(tr("Please Wait..."));
  if (!services.startDirectory.empty()) {
    QDir::setCurrent(QString::fromStdString(services.startDirectory));
  }
  std::string why;
  const bool saved = game->SaveProject(file, &why);
  services.wait->hide();
  if (!saved) {
    services.messages->Show("The project could not be saved: " + why, App::kCaption,
                            App::IMessageBox::Icon::kWarning);
  }
  if (pausedHere) {
    game->Play();
  }
}

void ToolBar::Settings() {
  if (game == nullptr) {
    return;
  }
  std::vector<ArtistEntry> artists = ArtistEntries();
  const int count = static_cast<int>(artists.size());
  SettingsDlg dialog(game->GetProfile(), services.module, count, std::move(artists),
                     *services.messages, window());
  dialog.exec();
}

void ToolBar::Help() {
  const QString manual = QDir(QString::fromStdString(services.startDirectory))
                             .filePath(QStringLiteral("help/index.html"));
  if (!QFileInfo::exists(manual) || !QDesktopServices::openUrl(QUrl::fromLocalFile(manual))) {
    emit Notice(tr("The manual could not be opened: %1").arg(manual));
  }
}

}  // namespace Kesh::GUI
