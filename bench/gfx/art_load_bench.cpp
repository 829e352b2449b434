// Opening a show's band from the shipped art: every image of thirteen musicians read with the
// program's PNG reader, as shipped at 1x, as shipped at 2x, and at 2x then halved by a 2 x 2 box
// average (what deriving the 1x images from the 2x ones at load would cost). Main thread only.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/image.h"

namespace {

namespace fs = std::filesystem;
using Vell::Gfx::Image;

enum Mode { kOnce = 0, kTwice = 1, kTwiceHalved = 2 };

// The images, at 1x or 2x, of the first thirteen musicians (by folder name) that ship both.
std::vector<std::string> BandImages(bool twice) {
  const fs::path artists = fs::path(TAVRO_SOURCE_DIR) / "data" / "artists";
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(artists)) {
    if (entry.is_directory() && fs::exists(entry.path() / "thumb@2x.png")) {
      folders.push_back(entry.path());
    }
  }
  std::sort(folders.begin(), folders.end());
  folders.resize(std::min<size_t>(folders.size(), 13));
  std::vector<std::string> out;
  for (const fs::path& folder : folders) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".png") && name.ends_with("@2x.png") == twice) {
        out.push_back(entry.path().string());
      }
    }
  }
  return out;
}

// The 2 x 2 box average of a 2x image, averaged premultiplied so that clear pixels lend no colour.
Image Halved(const Image& twice) {
  Image once(twice.Width() / 2, twice.Height() / 2);
  for (int y = 0; y < once.Height(); ++y) {
    for (int x = 0; x < once.Width(); ++x) {
      uint32_t a = 0, r = 0, g = 0, b = 0;
      for (int k = 0; k < 4; ++k) {
        const uint32_t p = twice.Pixel(2 * x + k % 2, 2 * y + k / 2);
        const uint32_t pa = Vell::Gfx::AlphaOf(p);
        a += pa;
        r += Vell::Gfx::RedOf(p) * pa;
        g += Vell::Gfx::GreenOf(p) * pa;
        b += Vell::Gfx::BlueOf(p) * pa;
      }
      once.Pixels()[static_cast<size_t>(y) * once.Width() + x] =
          a == 0 ? 0
                 : Vell::Gfx::Argb((a + 2) / 4, (r + a / 2) / a, (g + a / 2) / a, (b + a / 2) / a);
    }
  }
  once.Changed();
  return once;
}

void BM_OpenBand(benchmark::State& state) {
  const Mode mode = static_cast<Mode>(state.range(0));
  const std::vector<std::string> files = BandImages(mode != kOnce);
  if (files.empty()) {
    state.SkipWithError("no band images");
    return;
  }
  int64_t pixels = 0;
  for (auto _ : state) {
    for (const std::string& file : files) {
      Image image;
      if (!image.LoadPng(file)) {
        state.SkipWithError(("cannot read " + file).c_str());
        return;
      }
      if (mode == kTwiceHalved) {
        Image once = Halved(image);
        pixels += static_cast<int64_t>(once.Width()) * once.Height();
        benchmark::DoNotOptimize(once.Pixels());
      } else {
        pixels += static_cast<int64_t>(image.Width()) * image.Height();
        benchmark::DoNotOptimize(image.Pixels());
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(files.size()));
  state.counters["images"] = static_cast<double>(files.size());
  state.SetLabel(mode == kOnce ? "1x files" : mode == kTwice ? "2x files" : "2x files halved");
}
BENCHMARK(BM_OpenBand)->Arg(kOnce)->Arg(kTwice)->Arg(kTwiceHalved)->Unit(benchmark::kMillisecond);

}  // namespace
