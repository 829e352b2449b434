// Batch renders: many songs (given one by one, as folders or as .m3u playlists) rendered into one
// output folder, each by a child tavro-render with the single-song options, several at once, or
// printed as command lines for other engines to run. Called from the renderer's main thread only,
// before anything else is started; owns its child processes for the duration of Run.
#pragma once

#include <string>
#include <vector>

namespace Kesh::Render::Batch {

// The batch part of the usage text.
extern const char* const kUsage;

// Whether the command line asks for a batch: --out-dir, --list, -j, --force, --report or
// --format, more than one song, a folder or a playlist.
bool IsBatch(int argc, char** argv);

// Runs the batch that the command line describes (or prints its command lines with --list) and
// returns the process's exit status: 0 when every song was rendered or skipped, 1 when one
// failed, 2 for a bad command line, 128 + the signal when interrupted.
int Run(int argc, char** argv);

// A song of a batch and the video it becomes.
struct Song {
  std::string path;    // absolute
  std::string output;  // absolute, in the output folder
};

// The songs of the inputs, in order: a folder gives its songs and projects (subfolders
// included, sorted by path, each video in the same subfolder of outDir), a playlist its items
// (relative to its own folder), anything else is taken as a song; a song named again is left out.
// Each video is named after its song with the extension (".mp4"); a name already taken in the
// batch gets "-2", "-3", ... false when a folder or playlist cannot be read.
[[nodiscard]] bool CollectSongs(const std::vector<std::string>& inputs, const std::string& outDir,
                                const std::string& extension, std::vector<Song>& songs,
                                std::string* why = nullptr);

// The word as one word for a POSIX shell: unchanged when it holds only characters no shell
// treats specially, else in single quotes.
std::string ShellQuote(const std::string& word);

}  // namespace Kesh::Render::Batch
