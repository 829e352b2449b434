#include "game/show_plan.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "artists/artist.h"
#include "artists/manager.h"
#include "artists/sets.h"
#include "data/analysis.h"
#include "data/events.h"
#include "framework/text.h"
#include "game/player.h"
#include "gfx/image.h"
#include "styles/style.h"

namespace Kesh::Game {

namespace {

namespace Sets = Artists::Animation;

bool IsDrumGroup(int patch) { return patch >= 200 && patch <= 203; }

std::string Lower(const char* text) {
  std::string out = text != nullptr ? text : "";
  for (char& c : out) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// The opaque part of the artist's first playing image, drawn centred on its place.
std::array<int, 4> StageBox(const Artists::Artist& artist) {
  const Sets::Set* set = nullptr;
  for (int kind : {Sets::kCSA, Sets::kCSB, Sets::kCRA, Sets::kCRB, Sets::kCFA}) {
    set = artist.GetSet(kind);
    if (set != nullptr && set->GetSprite() != nullptr && set->GetSprite()->Count() > 0) {
      break;
    }
    set = nullptr;
  }
  if (set == nullptr) {
    return {static_cast<int>(artist.x), static_cast<int>(artist.y), 0, 0};
  }
  const Vell::Gfx::Image* image = set->GetSprite()->Images().front();
  const int w = image->Width();
  const int h = image->Height();
  int left = w;
  int top = h;
  int right = -1;
  int bottom = -1;
  const uint32_t* pixels = image->Pixels();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (Vell::Gfx::AlphaOf(
              pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)]) !=
          0) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  // The sprite draws its image centred on the position, at whole stage units; the box is in stage
  // units.
  const int scale = image->Scale();
  const int originX = static_cast<int>(artist.x - static_cast<float>(w / scale) / 2);
  const int originY = static_cast<int>(artist.y - static_cast<float>(h / scale) / 2);
  if (right < 0) {
    return {originX, originY, 0, 0};
  }
  // Rounded inwards, as the layout measures performers: the soft rim of a scaled-up image does
  // not count.
  int first = (left + scale - 1) / scale;
  int firstRow = (top + scale - 1) / scale;
  int last = (right + 1) / scale - 1;
  int lastRow = (bottom + 1) / scale - 1;
  if (last < first || lastRow < firstRow) {
    first = left / scale;
    firstRow = top / scale;
    last = right / scale;
    lastRow = bottom / scale;
  }
  return {originX + first, originY + firstRow, last - first + 1, lastRow - firstRow + 1};
}

std::vector<ShowPlan::Run> Runs(const Data::Tracks::Animation& animation) {
  std::vector<ShowPlan::Run> runs;
  const auto& timeline = animation.GetTimeline();
  for (auto it = timeline.begin(); it != timeline.end(); ++it) {
    const Sets::Set* set = it->second;
    uint64_t start = it->first;
    const int kind = set->GetKind();
    if (it == timeline.begin() && (kind == Sets::kSLR || kind == Sets::kSRL) &&
        animation.WalkStartMs() != UINT64_MAX && animation.WalkStartMs() > start) {
      start = animation.WalkStartMs();  // off stage until the walk starts
    }
    const auto next = std::next(it);
    const uint64_t end =
        next != timeline.end() ? next->first : std::max(animation.ExitEndMs(), start);
    const std::string name = Lower(Sets::KindName(kind));
    if (!runs.empty() && runs.back().set == name && runs.back().endMs == start) {
      runs.back().endMs = end;
    } else if (end > start || next == timeline.end()) {
      runs.push_back({start, end, name});
    }
  }
  return runs;
}

}  // namespace

ShowPlan MakeShowPlan(Player& player) {
  ShowPlan plan;
  plan.audioStartMs = player.AudioStartMs();
  if (const Styles::Style* style = player.CurrentStyle()) {
    plan.style = style->GetName();
  }
  for (const Data::Tracks::Animation* animation : player.Animations()) {
    const Artists::Artist* artist = animation->GetArtist();
    if (artist == nullptr) {
      continue;
    }
    ShowPlan::Performer performer;
    performer.name = artist->GetName();
    const Data::Tracks::Event* track = animation->GetTrack();
    performer.drummer = track == nullptr;
    performer.patch = track != nullptr           ? track->GetPatch()
                      : !artist->patches.empty() ? artist->patches.front()
                                                 : 200;
    performer.box = StageBox(*artist);
    performer.timeline = Runs(*animation);
    plan.performers.push_back(std::move(performer));
  }
  if (const Data::Events::Analysis* analysis = player.GetAnalysis()) {
    // Every drum group's range counts all the drum hits of its bar: its time positions
    // (coverage) and the extra hits struck together (polyphony).
    std::map<uint32_t, int> hits;
    for (const Data::Events::DrumGroup& group : analysis->GetDrumGroups()) {
      const Data::Tracks::Event* track = analysis->GetTrack(group.patch);
      if (!IsDrumGroup(group.patch) || track == nullptr || track->GetChannel() != 9) {
        continue;
      }
      for (const Data::Events::Event* event : track->GetEvents()) {
        if (event->GetType() == Data::Events::BarRange::kType) {
          const auto* range = static_cast<const Data::Events::BarRange*>(event);
          int& count = hits[range->start];
          count = std::max(count, static_cast<int>(range->Coverage() + range->Polyphony()));
        }
      }
    }
    for (const Data::Events::Event* event : analysis->GetBarTrack()->GetEvents()) {
      if (event->GetType() == Data::Events::BarBegin::kType) {
        const auto found = hits.find(event->start);
        plan.bars.push_back({player.ShowOffsetMs() + static_cast<int64_t>(event->start),
                             found != hits.end() ? found->second : 0});
      }
    }
  }
  for (const Player::Unplaced& part : player.UnplacedParts()) {
    std::string name;
    if (part.patch >= 0 && part.patch <= 127 && Artists::Manager::Exists()) {
      name = Artists::Manager::Instance()->GetInstrumentName(part.patch);
    }
    plan.unplaced.push_back({part.patch, part.channel + 1, name, part.reason});
  }
  return plan;
}

std::string ShowPlanJson(const ShowPlan& plan) {
  std::string out = "{\"audioStartMs\": " + std::to_string(plan.audioStartMs) + ", \"style\": ";
  out += Vell::Text::JsonString(plan.style);
  out += ",\n \"performers\": [";
  for (size_t i = 0; i < plan.performers.size(); ++i) {
    const ShowPlan::Performer& p = plan.performers[i];
    out += i == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ";
    out += Vell::Text::JsonString(p.name);
    out += ", \"patch\": " + std::to_string(p.patch) +
           ", \"drummer\": " + (p.drummer ? "true" : "false") + ", \"box\": [" +
           std::to_string(p.box[0]) + ", " + std::to_string(p.box[1]) + ", " +
           std::to_string(p.box[2]) + ", " + std::to_string(p.box[3]) + "],\n   \"timeline\": [";
    for (size_t r = 0; r < p.timeline.size(); ++r) {
      const ShowPlan::Run& run = p.timeline[r];
      out += (r == 0 ? "" : ", ");
      out += "{\"startMs\": " + std::to_string(run.startMs) +
             ", \"endMs\": " + std::to_string(run.endMs) + ", \"set\": ";
      out += Vell::Text::JsonString(run.set);
      out += "}";
    }
    out += "]}";
  }
  out += "],\n \"bars\": [";
  for (size_t i = 0; i < plan.bars.size(); ++i) {
    out += (i == 0 ? "" : ", ");
    out += "{\"startMs\": " + std::to_string(plan.bars[i].startMs) +
           ", \"drumHits\": " + std::to_string(plan.bars[i].drumHits) + "}";
  }
  out += "],\n \"noPerformer\": [";
  for (size_t i = 0; i < plan.unplaced.size(); ++i) {
    const ShowPlan::Unplaced& part = plan.unplaced[i];
    out += (i == 0 ? "" : ", ");
    out += "{\"patch\": " + std::to_string(part.patch) +
           ", \"channel\": " + std::to_string(part.channel) + ", \"name\": ";
    out += Vell::Text::JsonString(part.name);
    out += ", \"reason\": ";
    out += Vell::Text::JsonString(part.reason);
    out += "}";
  }
  out += "]}\n";
  return out;
}

std::string ShowPlanText(const ShowPlan& plan) {
  char line[512];
  std::string out;
  std::snprintf(line, sizeof line, "audio start: %lld ms\nstyle: %s\nperformers: %zu\n",
                static_cast<long long>(plan.audioStartMs),
                plan.style.empty() ? "(none)" : plan.style.c_str(), plan.performers.size());
  out += line;
  for (const ShowPlan::Performer& p : plan.performers) {
    std::snprintf(line, sizeof line, "  %s (patch %d%s), box x %d y %d, %d x %d\n", p.name.c_str(),
                  p.patch, p.drummer ? ", drummer" : "", p.box[0], p.box[1], p.box[2], p.box[3]);
    out += line;
    for (const ShowPlan::Run& run : p.timeline) {
      std::snprintf(line, sizeof line, "    %9.3f - %9.3f s  %s\n",
                    static_cast<double>(run.startMs) / 1000.0,
                    static_cast<double>(run.endMs) / 1000.0, run.set.c_str());
      out += line;
    }
  }
  int withDrums = 0;
  for (const ShowPlan::Bar& bar : plan.bars) {
    withDrums += bar.drumHits > 0 ? 1 : 0;
  }
  std::snprintf(line, sizeof line, "bars: %zu, %d with drums\n", plan.bars.size(), withDrums);
  out += line;
  if (withDrums > 0) {
    std::string row;
    for (const ShowPlan::Bar& bar : plan.bars) {
      row += bar.drumHits == 0  ? '.'
             : bar.drumHits > 9 ? '+'
                                : static_cast<char>('0' + bar.drumHits);
    }
    out += "  drum hits by bar (+ for ten or more):\n";
    for (size_t i = 0; i < row.size(); i += 64) {
      out += "    " + row.substr(i, 64) + "\n";
    }
  }
  for (const ShowPlan::Unplaced& part : plan.unplaced) {
    std::snprintf(line, sizeof line, "no musician for patch %d%s%s on channel %d: %s\n", part.patch,
                  part.name.empty() ? "" : " ", part.name.c_str(), part.channel,
                  part.reason.c_str());
    out += line;
  }
  return out;
}

}  // namespace Kesh::Game
