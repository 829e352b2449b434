#include "gui/transport_bar.h"

#include <QAction>

#include "game/game.h"
#include "gui/dialogs.h"
#include "gui/game_events.h"
#include "gui/skin.h"
#include "widgets/image_button.h"

namespace Kesh::GUI {

using Game::TransportCommand;

TransportBar::TransportBar(QWidget* parent) : QWidget(parent) {
  struct Button {
    TransportCommand id;
    const char* skin;
    const char* tip;
    int left;
    int top;
  };
  const Button list[] = {
      {TransportCommand::kPrevious, "previous", "Previous song (P)", 2, 6},
      {TransportCommand::kPlay, "play", "Play (Space)", 33, 6},
      {TransportCommand::kStop, "stop", "Stop (S)", 63, 6},
      {TransportCommand::kPause, "pause", "Pause or resume (Space)", 86, 6},
      {TransportCommand::kNext, "next", "Next song (N)", 111, 6},
      {TransportCommand::kLoop, "loop", "Play the song again at its end (L)", 136, 6},
      {TransportCommand::kRecord, "record", "Record the light show into the song", 168, 6},
      {TransportCommand::kPlaylistView, "view-playlist", "Show the playlist", 195, 3},
      {TransportCommand::kMixerView, "view-mixer", "Show the mixer", 253, 3},
      {TransportCommand::kKaraokeView, "view-karaoke", "Show the karaoke words", 287, 3},
      {TransportCommand::kAbout, "logo", "About Tavro", 493, 3}};
  for (const Button& b : list) {
    auto* button = new L::ImageButton(Skin(b.skin), tr(b.tip), this);
    button->move(b.left, b.top);
    // Play, stop, previous, next and about only act; the others show a state.
    button->setCheckable(
        b.id == TransportCommand::kPause || b.id == TransportCommand::kLoop ||
        b.id == TransportCommand::kRecord || b.id == TransportCommand::kPlaylistView ||
        b.id == TransportCommand::kMixerView || b.id == TransportCommand::kKaraokeView);
    buttons[b.id] = button;
    connect(button, &L::ImageButton::clicked, this, [this, id = b.id] { Command(id); });
  }
  AddKeys();
}

void TransportBar::AddKeys() {
  const std::pair<QKeySequence, TransportCommand> keys[] = {
      {QKeySequence(Qt::Key_Space), TransportCommand::kPause},
      {QKeySequence(Qt::Key_MediaTogglePlayPause), TransportCommand::kPause},
      {QKeySequence(Qt::Key_MediaPlay), TransportCommand::kPause},
      {QKeySequence(Qt::Key_S), TransportCommand::kStop},
      {QKeySequence(Qt::Key_MediaStop), TransportCommand::kStop},
      {QKeySequence(Qt::Key_N), TransportCommand::kNext},
      {QKeySequence(Qt::Key_MediaNext), TransportCommand::kNext},
      {QKeySequence(Qt::Key_P), TransportCommand::kPrevious},
      {QKeySequence(Qt::Key_MediaPrevious), TransportCommand::kPrevious},
      {QKeySequence(Qt::Key_L), TransportCommand::kLoop}};
  for (const auto& [sequence, id] : keys) {
    auto* action = new QAction(this);
    action->setShortcut(sequence);
    connect(action, &QAction::triggered, this, [this, id = id] {
      // Space plays a stopped song, else pauses or resumes.
      if (id == TransportCommand::kPause && game != nullptr) {
        game->PlayOrPause();
      } else {
        Command(id);
      }
    });
    addAction(action);
  }
}

void TransportBar::Command(TransportCommand id) {
  if (game == nullptr) {
    return;
  }
  switch (id) {
    case TransportCommand::kPlay:
      game->Play();
      break;
    case TransportCommand::kPause:
      game->TogglePause();
      break;
    case TransportCommand::kLoop:
      game->ToggleLoop();
      break;
    case TransportCommand::kRecord:
      game->ToggleRecording();
      break;
    case TransportCommand::kAbout:
      AboutDlg(window()).exec();
      return;
    default:
      emit Clicked(id);
      return;
  }
  Refresh(Game::Change::kTransport);  // a click that changed nothing undoes its check
}

void TransportBar::Attach(Game::Game& attached, GameEvents& events) {
  game = &attached;
  connect(&events, &GameEvents::Changed, this, &TransportBar::Refresh);
  Refresh(Game::Change::kTransport);
}

L::ImageButton* TransportBar::Button(TransportCommand id) const {
  const auto found = buttons.find(id);
  return found == buttons.end() ? nullptr : found->second;
}

void TransportBar::SetView(TransportCommand view) {
  for (TransportCommand id : {TransportCommand::kPlaylistView, TransportCommand::kMixerView,
                              TransportCommand::kKaraokeView}) {
    buttons.at(id)->setChecked(id == view);
  }
}

void TransportBar::Refresh(Game::Change what) {
  if (what != Game::Change::kTransport && what != Game::Change::kSong) {
    return;
  }
  const Game::State& state = game->GetState();
  buttons.at(TransportCommand::kLoop)->setChecked(state.loop);
  buttons.at(TransportCommand::kRecord)->setChecked(state.recording);
  buttons.at(TransportCommand::kPause)->setChecked(state.paused);
}

}  // namespace Kesh::GUI
