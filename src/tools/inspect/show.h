// tavro-inspect --show: opens a song as the program does (the player module, the analysis, the
// artists, the styles) and prints the show it prepares. Runs on the tool's only thread.
#pragma once

#include <string>

namespace Kesh::Inspect {

struct ShowOptions {
  std::string song;
  std::string style;  // empty: the profile's choice
  bool json = false;
};

// Prints the show plan of the song on standard output (the log goes to standard error). Returns
// the exit status: 0 when the song was prepared, 1 when it could not be opened or prepared (the
// reason on standard error), 2 when the program's data or player module are missing.
int PrintShowPlan(const ShowOptions& options);

}  // namespace Kesh::Inspect
