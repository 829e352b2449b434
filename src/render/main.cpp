// tavro-render: the show of a song as a video with its sound, or as PNG frames, without a window
// or a sound device. The same hub, game and player as the program run on the player module's
// offline clock; ffmpeg encodes.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/log.h"
#include "app/message_box.h"
#include "app/window.h"
#include "game/game.h"
#include "game/hub.h"
#include "game/player.h"
#include "gfx/lyric_page.h"
#include "gfx/scaled_png.h"
#include "gfx/text.h"
#include "platform/platform.h"
#include "qtext/text_painter.h"
#include "render/batch.h"
#include "render/composer.h"
#include "render/encoder.h"
#include "render/ending.h"
#include "render/music_pass.h"
#include "styles/manager.h"
#include "tavro/version.h"

namespace {

using Kesh::Game::Game;

constexpr int kSampleRate = 44100;
// The music's loudness in a video unless --loudness says otherwise, and the targets it takes.
constexpr double kDefaultLoudness = -16.0;
constexpr double kMinLoudness = -40.0;
constexpr double kMaxLoudness = -5.0;

const char* const kUsage =
    "usage: tavro-render SONG.mid|.kar|.kesh [-o OUT.mp4|.mkv|.webm] [--frames DIR]\n"
    "                    [--style NAME] [--start SECONDS] [--seconds N] [--no-crowd]\n"
    "                    [--karaoke] [--readouts] [--soundfont PATH] [--data DIR]\n"
    "                    [--size WxH] [--fps 25|30|50|60] [--encoder NAME]\n"
    "                    [--threads N] [--keep-partial]\n"
    "                    [--loudness LUFS] [--allow-flashing] [--scale 1|2]\n";

// The signal that asks the render to stop (SIGINT, SIGTERM or SIGHUP), 0 while none came.
volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) { stopSignal = signal; }

// From here on a stop signal ends the render in order (ffmpeg stopped and waited for, the partial
// video removed) instead of killing the renderer. No SA_RESTART: a blocked write or wait returns.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signal, &action, nullptr);
  }
}

struct Options {
  std::string song;
  std::string output;
  std::string frames;
  std::string style;
  std::string soundfont;
  std::string data;
  double start = 0;
  double seconds = -1;
  int threads = 0;  // ffmpeg's threads; 0 lets it choose
  int scale = 0;    // the stage's render scale, 1 (815 x 400) or 2 (1630 x 800); 0: from the size
  // The video's frame; 0 x 0: the show's picture itself, padded to even sides.
  int width = 0;
  int height = 0;
  std::string encoder;         // ffmpeg's video encoder; "" the container's own
  int fps = Game::kFrameRate;  // the show's frames per second
  bool crowd = true;
  bool karaoke = false;
  bool readouts = false;
  bool keepPartial = false;
  double loudness = kDefaultLoudness;  // LUFS of the music in the video
  bool allowFlashing = false;          // the style's strobes as written, beyond the safe flash rate
};

// Time spent on one part of the work: this thread's CPU seconds and wall seconds.
struct Split {
  struct Mark {
    double cpu;
    std::chrono::steady_clock::time_point wall;
  };
  static Mark Now() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return {static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9,
            std::chrono::steady_clock::now()};
  }
  void Add(const Mark& from, const Mark& to) {
    cpu += to.cpu - from.cpu;
    wall += std::chrono::duration<double>(to.wall - from.wall).count();
  }
  double cpu = 0;
  double wall = 0;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "tavro-render: %s\n", message.c_str());
  return 2;
}

// Records what the game asks of the windows: the end of the song, above all.
class Window final : public Kesh::App::IWindow {
 public:
  void Post(unsigned message, uintptr_t, intptr_t) override {
    if (message == Kesh::App::kSongEndMessage) {
      songEnded = true;
    }
  }
  bool Send(unsigned, uintptr_t, intptr_t, const std::atomic<bool>*) override { return true; }
  bool songEnded = false;
};

// Keeps the messages for the error line and logs them; what the show goes on without is said on
// standard error.
class Messages final : public Kesh::App::IMessageBox {
 public:
  void Show(const std::string& text, const std::string& caption, Icon icon) override {
    last = text;
    Kesh::Log("%s: %s", caption.c_str(), text.c_str());
  }
  void Notice(const std::string& text) override {
    Kesh::Log("%s", text.c_str());
    std::fprintf(stderr, "tavro-render: warning: %s\n", text.c_str());
  }
  std::string last;
};

bool ParseNumber(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value) && value >= 0;
}

bool Parse(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto next = [&](std::string& value) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    std::string value;
    if (arg == "-o") {
      if (!next(options.output)) {
        return false;
      }
    } else if (arg == "--frames") {
      if (!next(options.frames)) {
        return false;
      }
    } else if (arg == "--style") {
      if (!next(options.style)) {
        return false;
      }
    } else if (arg == "--soundfont") {
      if (!next(options.soundfont)) {
        return false;
      }
    } else if (arg == "--data") {
      if (!next(options.data)) {
        return false;
      }
    } else if (arg == "--start" || arg == "--seconds") {
      if (!next(value)) {
        return false;
      }
      double number = 0;
      if (!ParseNumber(value.c_str(), number)) {
        error = arg + " needs a number of seconds, not \"" + value + "\"";
        return false;
      }
      (arg == "--start" ? options.start : options.seconds) = number;
    } else if (arg == "--threads") {
      if (!next(value)) {
        return false;
      }
      double number = 0;
      if (!ParseNumber(value.c_str(), number) || number < 1 || number > 256 ||
          number != std::floor(number)) {
        error = "--threads needs a whole number from 1, not \"" + value + "\"";
        return false;
      }
      options.threads = static_cast<int>(number);
    } else if (arg == "--scale") {
      if (!next(value)) {
        return false;
      }
      if (value != "1" && value != "2") {
        error = "--scale needs 1 or 2, not \"" + value + "\"";
        return false;
      }
      options.scale = value == "1" ? Vell::Gfx::kMinRenderScale : Vell::Gfx::kMaxRenderScale;
    } else if (arg == "--loudness") {
      if (!next(value)) {
        return false;
      }
      char* end = nullptr;
      options.loudness = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || !(options.loudness >= kMinLoudness) ||
          !(options.loudness <= kMaxLoudness)) {
        error = "--loudness needs a level in LUFS from -40 to -5, not \"" + value + "\"";
        return false;
      }
    } else if (arg == "--size") {
      if (!next(value)) {
        return false;
      }
      if (!Kesh::Render::ParseFrameSize(value, options.width, options.height, &error)) {
        return false;
      }
    } else if (arg == "--fps") {
      if (!next(value)) {
        return false;
      }
      const auto& rates = Game::kFrameRates;
      const auto found = std::find_if(std::begin(rates), std::end(rates),
                                      [&](int rate) { return std::to_string(rate) == value; });
      if (found == std::end(rates)) {
        error = "--fps is 25, 30, 50 or 60 frames a second, not \"" + value + "\"";
        return false;
      }
      options.fps = *found;
    } else if (arg == "--encoder") {
      if (!next(options.encoder)) {
        return false;
      }
    } else if (arg == "--no-crowd") {
      options.crowd = false;
    } else if (arg == "--karaoke") {
      options.karaoke = true;
    } else if (arg == "--readouts") {
      options.readouts = true;
    } else if (arg == "--keep-partial") {
      options.keepPartial = true;
    } else if (arg == "--allow-flashing") {
      options.allowFlashing = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(Kesh::Render::Batch::kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::printf("tavro-render %s\n", Tavro::kVersion);
      std::exit(0);
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else if (options.song.empty()) {
      options.song = arg;
    } else {
      error = "more than one song given";
      return false;
    }
  }
  if (options.song.empty()) {
    error = "no song given";
    return false;
  }
  if (options.output.empty() && options.frames.empty()) {
    error = "nothing to write: give -o OUT.mp4 or --frames DIR";
    return false;
  }
  if (!options.encoder.empty() && options.output.empty()) {
    error = "--encoder " + options.encoder + " needs a video to encode: give -o OUT.mp4";
    return false;
  }
  return true;
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  return path.empty() ? path : std::filesystem::absolute(path, ignored).string();
}

void Progress(double doneMs, double totalMs, std::chrono::steady_clock::time_point began) {
  if (totalMs <= 0) {
    return;
  }
  const double share = std::min(1.0, doneMs / totalMs);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const int left = share > 0.01 ? static_cast<int>(elapsed / share - elapsed) : 0;
  char bar[31];
  const int filled = static_cast<int>(share * 30);
  for (int i = 0; i < 30; ++i) {
    bar[i] = i < filled ? '#' : '.';
  }
  bar[30] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%  %d:%02d left ", bar, static_cast<int>(share * 100), left / 60,
               left % 60);
  std::fflush(stderr);
}

// Brings the video's music to the target loudness: the song is played once on its own and
// measured, and the music gain set from that. A song that cannot be measured keeps the calibrated
// gain.
// The span measured is the part of the song the video holds (the music starts audioStartMs into
// the show).
void Normalise(Kesh::Audio::IPlayer& module, const Kesh::Game::Player& player,
               const Options& options) {
  const int64_t startMs = static_cast<int64_t>(options.start * 1000) - player.AudioStartMs();
  const int64_t endMs = options.seconds >= 0
                            ? startMs + static_cast<int64_t>(options.seconds * 1000)
                            : std::numeric_limits<int64_t>::max();
  const double target = options.loudness;
  double lufs = 0;
  std::string why;
  if (!Kesh::Render::MeasureMusic(module, kSampleRate, player.SongLengthMs(),
                                  std::max<int64_t>(startMs, 0), endMs, lufs, &why)) {
    Kesh::Log("loudness: %s; the music keeps its calibrated level", why.c_str());
    return;
  }
  const float gain = Kesh::Render::NormalisingGain(lufs, target);
  if (!module.SetMusicGain(gain)) {
    Kesh::Log("loudness: the module refused a music gain of %.1f dB", static_cast<double>(gain));
    return;
  }
  Kesh::Log("loudness: music %.1f LUFS at the calibrated gain, %+.1f dB for %.1f LUFS", lufs,
            static_cast<double>(gain), target);
}

int Run(const Options& options) {
  // Checks that need nothing loaded: the song, ffmpeg and the output. A named pipe, a device or
  // a folder given as the song is refused here, before anything waits on it.
  {
    int fd = -1;
    std::string why;
    if (!Vell::Platform::OpenRegularFile(options.song, &fd, &why)) {
      return Fail("cannot read the song " + options.song + ": " + why);
    }
    ::close(fd);
  }
  if (!options.output.empty()) {
    if (Kesh::Render::Encoder::FindFfmpeg().empty()) {
      return Fail("ffmpeg was not found on PATH (install the ffmpeg package)");
    }
    if (Kesh::Render::Encoder::FormatOf(options.output).empty()) {
      return Fail(options.output + ": the output must end in .mp4, .mkv or .webm");
    }
    const std::filesystem::path folder = std::filesystem::path(options.output).parent_path();
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK) != 0) {
      return Fail("cannot write " + options.output + ": its folder is not writable");
    }
    std::string why;
    if (!options.encoder.empty() &&
        !Kesh::Render::Encoder::HasVideoEncoder(options.encoder, &why)) {
      return Fail(why);
    }
  }
  if (!options.frames.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.frames, error);
    if (::access(options.frames.c_str(), W_OK) != 0) {
      return Fail("cannot write frames into " + options.frames);
    }
  }
  if (!options.soundfont.empty()) {
    if (::access(options.soundfont.c_str(), R_OK) != 0) {
      return Fail("cannot read the SoundFont " + options.soundfont);
    }
    ::setenv("TAVRO_SOUNDFONT", options.soundfont.c_str(), 1);
  }
  // The data folders (config, artists, styles) are found from the current directory.
  std::string data = options.data.empty() ? Kesh::Hub::DataDirectory() : options.data;
  if (data.empty()) {
    data = Vell::Platform::ProgramDirectory();
  }
  if (!Vell::Platform::SetCurrentDirectory(data)) {
    return Fail("cannot enter the data folder " + data);
  }

  Kesh::Hub* hub = nullptr;
  try {
    hub = Kesh::Hub::Instance();
  } catch (const Vell::Exception& error) {
    return Fail("The player module audio.so could not be loaded: " + error.ToString());
  }
  hub->SetSaveProfileAtExit(false);
  if (hub->GetPlayer() == nullptr) {
    return Fail(hub->ModuleMissingMessage());
  }
  Window window;
  Messages messages;
  hub->CreateGame({&window, nullptr, nullptr, nullptr, &messages}, 815, 400);
  Game& game = *hub->GetGame();
  Kesh::Audio::IPlayer* module = hub->GetPlayer();
  if (!module->SetOffline(true, kSampleRate)) {
    return Fail("the synthesizer cannot be set up for rendering");
  }
  // A video without music is no success: no SoundFont, or not the one asked for, ends here. A
  // broken default with a good one after it is only a warning.
  char soundFontNote[1024];
  const int soundFont = module->GetSoundFontState(soundFontNote, sizeof soundFontNote);
  const char* asked = std::getenv("TAVRO_SOUNDFONT");
  if (soundFont == Kesh::Audio::kSoundFontNone ||
      (soundFont == Kesh::Audio::kSoundFontFallback && asked != nullptr && *asked != '\0')) {
    // The module's note ends with the SoundFont it would play instead; the render plays none.
    std::string reason = soundFontNote;
    reason = reason.substr(0, reason.find("; playing with "));
    return Fail(reason);
  }
  if (!options.style.empty()) {
    game.GetProfile().autoStyle = false;
  }
  // This render only: the profile is not saved.
  game.GetProfile().reduceFlashing = !options.allowFlashing;
  // The stage is drawn at twice its size whenever the video enlarges it, unless asked otherwise.
  const int renderScale =
      options.scale > 0
          ? options.scale
          : Kesh::Render::RenderScaleFor(options.width, options.height,
                                         options.karaoke ? Vell::Gfx::Karaoke::kViewHeight : 0);
  Kesh::Log("render scale %d for a %dx%d video", renderScale, options.width, options.height);
  game.SetRenderScale(renderScale);
  if (!game.SetFrameRate(options.fps)) {
    return Fail("the show cannot run at " + std::to_string(options.fps) + " frames a second");
  }
  if (!game.Open(options.song)) {
    // A project's reason names the file itself; a song's comes as the game's message.
    if (!game.LoadError().empty()) {
      return Fail(game.LoadError());
    }
    return Fail(options.song + ": " + (messages.last.empty() ? "cannot be opened" : messages.last));
  }
  if (!options.style.empty()) {
    Kesh::Styles::Manager* styles = game.GetPlayer().StyleManager();
    if (styles == nullptr || styles->FindByName(options.style)->GetId() < 0) {
      return Fail("no style named " + options.style);
    }
    styles->SelectByName(options.style);
  }
  if (!options.crowd && module->GetCrowd() != nullptr) {
    module->GetCrowd()->Mute(true);
  }
  Normalise(*module, game.GetPlayer(), options);

  // Text (read-outs, karaoke band) is drawn through Qt, which needs an application object.
  std::unique_ptr<Vell::QText::TextPainter> text;
  if (options.karaoke || options.readouts) {
    std::string why;
    if (!Vell::QText::EnsureApplication(&why)) {
      return Fail("cannot draw text: " + why);
    }
    text = std::make_unique<Vell::QText::TextPainter>();
  }
  const Vell::Gfx::Canvas& canvas = game.GetCanvas();
  const int bandHeight = options.karaoke ? Vell::Gfx::Karaoke::kViewHeight * canvas.Scale() : 0;
  // The picture written: the stage itself, or a copy with the karaoke band under it and the
  // read-outs on it.
  const bool decorated = options.karaoke || options.readouts;
  const bool terminal = ::isatty(2) != 0;
  Vell::Gfx::Image picture;
  if (decorated) {
    picture.Resize(canvas.Width(), canvas.Height() + bandHeight);
  }
  Vell::Gfx::Image band(canvas.Width(), bandHeight);
  const Vell::Gfx::Image& drawn = decorated ? picture : canvas.Bitmap();
  // With --size the picture is fitted into a frame of that size; without, it goes out as it is.
  const bool fitted = options.width > 0;
  Kesh::Render::Composer composer(std::max(options.width, 1), std::max(options.height, 1));

  Kesh::Render::Encoder encoder;
  std::string why;
  CatchStopSignals();
  // A stop signal: ffmpeg is stopped and waited for, the partial video removed or kept as asked,
  // and the status is the shell's for that signal (129, 130, 143).
  const auto stopped = [&] {
    const int signal = static_cast<int>(stopSignal);
    std::string told = std::string("stopped by ") + (signal == SIGINT   ? "SIGINT"
                                                     : signal == SIGHUP ? "SIGHUP"
                                                                        : "SIGTERM");
    if (!options.output.empty()) {
      const std::string kept = encoder.Cancel(options.keepPartial);
      told += kept.empty() ? "; the partial video was removed"
                           : "; the partial video is kept in " + kept;
    }
    if (terminal) {
      std::fputc('\n', stderr);
    }
    std::fprintf(stderr, "tavro-render: %s\n", told.c_str());
    game.StopOfflineRun();
    return 128 + signal;
  };
  if (!options.output.empty()) {
    Kesh::Render::Encoder::Settings settings;
    settings.output = Absolute(options.output);
    settings.width = fitted ? options.width : canvas.Width();
    settings.height = fitted ? options.height : canvas.Height() + bandHeight;
    settings.videoEncoder = options.encoder;
    settings.frameRate = options.fps;
    settings.sampleRate = kSampleRate;
    settings.interrupted = &stopSignal;
    settings.threads = options.threads;
    if (!encoder.Start(settings, &why)) {
      return stopSignal != 0 ? stopped() : Fail(why);
    }
    Kesh::Log("ffmpeg runs as process %d", static_cast<int>(encoder.Child()));
  }
  Kesh::Game::Player& player = game.GetPlayer();
  const int64_t startMs = static_cast<int64_t>(options.start * 1000);
  const int64_t showMs = player.SongLengthMs() + Kesh::Game::Player::kEndPauseMs;
  // Without --seconds the video runs to the show's end and on through the applause (Ending); the
  // progress bar counts to the show's end.
  const int64_t wantedMs = options.seconds >= 0 ? static_cast<int64_t>(options.seconds * 1000)
                                                : std::numeric_limits<int64_t>::max();
  const int64_t expectedMs = options.seconds >= 0 ? wantedMs : showMs - startMs;
  // A frame's time, and the sound up to a frame: counted from the start, so that a frame length
  // of no whole number of milliseconds or samples (30 and 60 a second) never drifts.
  const int fps = options.fps;
  const auto msAt = [fps](int64_t frame) { return frame * 1000 / fps; };
  const auto samplesAt = [fps](int64_t frame) { return frame * kSampleRate / fps; };
  // A hang guard: the show ends by itself ten seconds after the song.
  const int64_t limitFrames = (showMs + player.AudioStartMs() + 60000) * fps / 1000;
  const auto began = std::chrono::steady_clock::now();
  std::vector<int16_t> sound(static_cast<size_t>(samplesAt(1) + 1) * 2);
  // The read-outs and the karaoke band are decided as the window decides them, from the switches.
  game.GetState().timeReadout = options.readouts;
  game.GetState().counterReadout = options.readouts;
  game.GetState().karaoke = options.karaoke;
  if (!game.StartOfflineRun()) {
    return Fail("the song cannot be played");
  }
  int64_t written = 0;
  int number = 0;
  Kesh::Render::Ending ending(1000.0 / fps);
  // Where the time goes, for the log: the show (frames, sound, text), fitting the picture into
  // the frame, and handing frames and sound to ffmpeg (the conversion to 4:2:0 and any wait for
  // the encoder), each in this thread's CPU seconds and in wall seconds.
  Split showTime;
  Split composeTime;
  Split encodeTime;
  for (int64_t frame = 0; frame < limitFrames && !ending.Done(); ++frame) {
    if (stopSignal != 0) {
      return stopped();
    }
    const Split::Mark frameBegan = Split::Now();
    // The frame first (it starts the music when its time has come), then the module's clock moves
    // on by the frame's length: the sound of a frame is what plays while the frame is shown.
    const Kesh::Game::Game::Readouts readouts = game.StepOffline();
    const int samples = static_cast<int>(samplesAt(frame + 1) - samplesAt(frame));
    int got = 0;
    while (got < samples) {
      const int n =
          module->RenderOffline(sound.data() + static_cast<size_t>(got) * 2, samples - got);
      if (n <= 0) {
        break;
      }
      got += n;
    }
    std::fill(sound.begin() + static_cast<std::ptrdiff_t>(got) * 2, sound.end(), 0);
    ending.Frame(sound.data(), static_cast<size_t>(samples), window.songEnded);
    if (msAt(frame) < startMs) {
      continue;
    }
    if (written >= wantedMs) {
      break;
    }
    if (decorated) {
      std::lock_guard<std::recursive_mutex> lock(hub->FrameLock());
      std::copy(canvas.Pixels(),
                canvas.Pixels() +
                    static_cast<size_t>(canvas.Width()) * static_cast<size_t>(canvas.Height()),
                picture.Pixels());
      if (options.karaoke) {
        Vell::Gfx::DrawLyricLines(*text, band, game.KaraokeLines(), canvas.Scale());
      }
    }
    if (options.karaoke) {
      std::copy(band.Pixels(),
                band.Pixels() + static_cast<size_t>(band.Width()) * static_cast<size_t>(bandHeight),
                picture.Row(canvas.Height()));
    }
    if (options.readouts) {
      Vell::Gfx::DrawReadouts(*text, picture, readouts.timeMs, readouts.counter, canvas.Scale());
    }
    if (decorated) {
      picture.Changed();
    }
    const Split::Mark composing = Split::Now();
    showTime.Add(frameBegan, composing);
    const Vell::Gfx::Image& shown = fitted ? composer.Compose(drawn) : drawn;
    const Split::Mark encoding = Split::Now();
    composeTime.Add(composing, encoding);
    // Offline, only this thread draws: the stage can be read outside the frame lock.
    if (!options.output.empty() && (!encoder.WriteSound(sound.data(), samples, &why) ||
                                    !encoder.WriteFrame(shown.Pixels(), &why))) {
      return stopSignal != 0 ? stopped() : Fail(why);
    }
    encodeTime.Add(encoding, Split::Now());
    if (!options.frames.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "frame-%06d.png", number);
      if (!shown.SavePng(options.frames + "/" + name, &why)) {
        return Fail(why);
      }
    }
    ++number;
    written = msAt(number);
    if (terminal && number % fps == 0) {
      Progress(static_cast<double>(written), static_cast<double>(expectedMs), began);
    }
  }
  game.StopOfflineRun();
  if (terminal) {
    Progress(1, 1, began);
    std::fputc('\n', stderr);
  }
  if (!options.output.empty() && !encoder.Finish(&why)) {
    return stopSignal != 0 ? stopped() : Fail(why);
  }
  Kesh::Log("rendered %d frames (%.2f s) of %s, audio start %lld ms, %zu artists", number,
            static_cast<double>(written) / 1000.0, options.song.c_str(),
            static_cast<long long>(player.AudioStartMs()), player.Animations().size());
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const auto cpu = [](int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  };
  Kesh::Log("took %.1f s, %.1f times real time; CPU %.1f s in the renderer, %.1f s in ffmpeg%s",
            wall, wall > 0 ? static_cast<double>(written) / 1000.0 / wall : 0.0, cpu(RUSAGE_SELF),
            cpu(RUSAGE_CHILDREN),
            options.output.empty() ? "" : (" (" + encoder.Describe() + ")").c_str());
  Kesh::Log(
      "time (CPU/wall): show %.1f/%.1f s, fitting the frame %.1f/%.1f s, to ffmpeg %.1f/%.1f s",
      showTime.cpu, showTime.wall, composeTime.cpu, composeTime.wall, encodeTime.cpu,
      encodeTime.wall);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Several songs, a folder or a playlist: each song is rendered by a child of its own.
  if (Kesh::Render::Batch::IsBatch(argc, argv)) {
    return Kesh::Render::Batch::Run(argc, argv);
  }
  Options options;
  std::string error;
  if (!Parse(argc, argv, options, error)) {
    std::fprintf(stderr, "tavro-render: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  options.song = Absolute(options.song);
  options.output = Absolute(options.output);
  options.frames = Absolute(options.frames);
  options.data = Absolute(options.data);
  options.soundfont = Absolute(options.soundfont);
  const int status = Run(options);
  if (Kesh::Hub::Exists()) {
    Kesh::Hub::Destroy();
  }
  return status;
}
