// A plain-text summary of a song's analysis, for the inspection tool and for diagnostics.
#pragma once

#include <cstdio>
#include <string>

#include "tavro/song_data.h"

namespace Kesh::Data {

// The settings file for a tool run: "./config/analysis.xml" when present, else the one in the
// program directory's "config" folder; empty when neither exists.
std::string FindAnalysisSettings();

// Analyses song with the settings at configPath (an empty path: no drum groups) and prints the
// bars, the analysed length and, for every instrument track, its patch, channel and number of
// busy bars (more than busyThreshold notes). false when the analysis fails; the reason is printed.
bool PrintAnalysis(std::FILE* out, const Audio::SongData& song, const std::string& configPath,
                   int busyThreshold = 4);

}  // namespace Kesh::Data
