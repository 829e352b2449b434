// The shipped art at twice the size: every band, stage and skin image has its NAME@2x.png beside
// NAME.png, exactly twice as wide and high and drawn over the same ground, so that the 2 x 2
// block at (2x, 2y) shows what pixel (x, y) of NAME.png shows. Test thread only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gfx/image.h"

namespace {

namespace fs = std::filesystem;
using Vell::Gfx::AlphaOf;
using Vell::Gfx::Image;

const fs::path kSource = TAVRO_SOURCE_DIR;
const std::string kSuffix = "@2x.png";

// Alpha above which a pixel counts as drawn for the opaque boxes (the band tests' baseline).
constexpr uint32_t kDrawn = 64;

// The least PSNR of a 2x image's box-downscale against its 1x image, by kind. Both scales are
// drawn from the same geometry; what differs is the edge anti-aliasing (the band's renderer takes
// eight samples a pixel at either scale, so its edges are sampled afresh), the finer meshes of the
// 2x band and the independent 128-colour palettes. Aligned band images score 28.7 dB (the keytar's
// black and white keys) to 45 dB here, and an image shifted by one 2x pixel 26 to 27 dB, by one 1x
// pixel 22 to 23 dB: so the band's images must score 27 dB and also fit worse shifted by one 2x
// pixel any way. The cairo drawings (stages, lights, masks, skin) are the same vectors sampled
// twice as finely and score 41 dB and more, the style pictures, shrunk from the whole stage at
// each scale, 39 dB and more. Two kinds are framed or lettered at each scale on their own and only
// have to show the same picture (a skin button shifted by one 1x pixel scores 18 dB): the
// thumbnails, cut to each rendering's own opaque box (a faint cymbal edge may widen it by a pixel;
// 21 dB and more), and the skin buttons with lettering, whose glyphs are hinted onto each scale's
// pixel grid (22 dB and more).
constexpr double kBandPsnr = 27.0;
constexpr double kDrawingPsnr = 36.0;
constexpr double kOwnFramingPsnr = 20.0;

// The skin buttons that carry letters or digits.
bool Lettered(const fs::path& path) {
  static const std::vector<std::string> names{"auto@2x.png", "counter@2x.png", "help@2x.png",
                                              "logo@2x.png", "noclear@2x.png", "reset@2x.png",
                                              "time@2x.png"};
  return path.parent_path().filename() == "skin" &&
         std::find(names.begin(), names.end(), path.filename().string()) != names.end();
}

bool IsTwiceSize(const fs::path& path) {
  const std::string name = path.filename().string();
  return name.size() > kSuffix.size() && name.ends_with(kSuffix);
}

fs::path OneTimes(const fs::path& twice) {
  const std::string name = twice.filename().string();
  return twice.parent_path() / (name.substr(0, name.size() - kSuffix.size()) + ".png");
}

fs::path TwiceSize(const fs::path& once) {
  return once.parent_path() / (once.stem().string() + kSuffix);
}

// The folders whose every image is drawn at both scales: the band, the stages and the skin (not
// the program icons, drawn at their own sizes, nor the manual's screenshots).
std::vector<fs::path> Folders() {
  return {kSource / "data" / "artists", kSource / "data" / "styles", kSource / "src/gui/skin"};
}

std::vector<fs::path> Images(bool twice) {
  std::vector<fs::path> out;
  for (const fs::path& folder : Folders()) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      const fs::path& path = entry.path();
      if (entry.is_regular_file() && path.extension() == ".png" && IsTwiceSize(path) == twice &&
          !path.filename().string().starts_with("tavro-")) {
        out.push_back(path);
      }
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Premultiplied channels: what a pixel adds to the picture, whatever its colour where clear.
void Premultiplied(uint32_t argb, double out[4]) {
  const double a = AlphaOf(argb) / 255.0;
  out[0] = AlphaOf(argb);
  out[1] = Vell::Gfx::RedOf(argb) * a;
  out[2] = Vell::Gfx::GreenOf(argb) * a;
  out[3] = Vell::Gfx::BlueOf(argb) * a;
}

// PSNR in dB of the 2 x 2 box average of twice (premultiplied) against once, over all four
// channels; 99 for identical pictures. dx, dy shift twice by whole 2x pixels (clear beyond its
// edges), to see whether another alignment would fit better.
double BoxDownscalePsnr(const Image& once, const Image& twice, int dx = 0, int dy = 0) {
  double squares = 0;
  for (int y = 0; y < once.Height(); ++y) {
    for (int x = 0; x < once.Width(); ++x) {
      double want[4];
      Premultiplied(once.Pixel(x, y), want);
      double mean[4] = {0, 0, 0, 0};
      for (int k = 0; k < 4; ++k) {
        const int tx = 2 * x + k % 2 + dx;
        const int ty = 2 * y + k / 2 + dy;
        const bool inside = tx >= 0 && ty >= 0 && tx < twice.Width() && ty < twice.Height();
        double p[4];
        Premultiplied(inside ? twice.Pixel(tx, ty) : 0u, p);
        for (int c = 0; c < 4; ++c) {
          mean[c] += p[c] / 4;
        }
      }
      for (int c = 0; c < 4; ++c) {
        squares += (mean[c] - want[c]) * (mean[c] - want[c]);
      }
    }
  }
  const double mse = squares / (4.0 * once.Width() * once.Height());
  return mse <= 1e-9 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Box {
  int left = -1, top = -1, right = -1, bottom = -1;  // inclusive; -1 when nothing is drawn
};

Box DrawnBox(const Image& image) {
  Box box;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      if (AlphaOf(image.Pixel(x, y)) > kDrawn) {
        if (box.left < 0) {
          box = {x, y, x, y};
        }
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = y;
      }
    }
  }
  return box;
}

TEST(TwiceSizeArt, EveryImageHasItsTwiceSizeDrawingAndEveryDrawingItsImage) {
  const std::vector<fs::path> once = Images(false);
  const std::vector<fs::path> twice = Images(true);
  // The band (24 musicians of 98 images), the five stages with their lights, the skin.
  EXPECT_GT(once.size(), 24u * 98 + 500 + 25);
  for (const fs::path& path : once) {
    EXPECT_TRUE(fs::exists(TwiceSize(path))) << "no " << TwiceSize(path);
  }
  for (const fs::path& path : twice) {
    EXPECT_TRUE(fs::exists(OneTimes(path))) << "no " << OneTimes(path) << " beside " << path;
  }
}

// Each pair is loaded with the program's PNG reader: twice the size, the same picture after a
// 2 x 2 box downscale, and for the band the drawn box (feet row, amplifier and stand sides, riser
// lift) at exactly double within the anti-aliased edge pixel.
TEST(TwiceSizeArt, EachTwiceSizeImageIsItsImageDrawnOnAFinerGrid) {
  std::map<std::string, double> least;  // kind -> the least PSNR seen, for the failure message
  int pairs = 0;
  for (const fs::path& twicePath : Images(true)) {
    const fs::path oncePath = OneTimes(twicePath);
    SCOPED_TRACE(twicePath.string());
    Image once;
    Image twice;
    std::string why;
    ASSERT_TRUE(once.LoadPng(oncePath.string(), &why)) << why;
    ASSERT_TRUE(twice.LoadPng(twicePath.string(), &why)) << why;
    ASSERT_EQ(twice.Width(), 2 * once.Width());
    ASSERT_EQ(twice.Height(), 2 * once.Height());
    ++pairs;

    const std::string rel = fs::relative(twicePath, kSource).generic_string();
    const bool band = rel.starts_with("data/artists/");
    const bool thumb = rel.ends_with("/thumb@2x.png");
    const std::string kind = thumb                 ? "thumbnail"
                             : Lettered(twicePath) ? "lettered button"
                             : band                ? "band image"
                                                   : "drawing";
    const double psnr = BoxDownscalePsnr(once, twice);
    const double floor = thumb || Lettered(twicePath) ? kOwnFramingPsnr
                         : band                       ? kBandPsnr
                                                      : kDrawingPsnr;
    EXPECT_GE(psnr, floor) << kind;
    auto [at, fresh] = least.emplace(kind, psnr);
    if (!fresh) {
      at->second = std::min(at->second, psnr);
    }

    if (band && !thumb) {
      // The best fit: no shift by one 2x pixel matches better than the image as it lies.
      for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        EXPECT_LT(BoxDownscalePsnr(once, twice, dx, dy), psnr) << "shifted by " << dx << ", " << dy;
      }
      const Box a = DrawnBox(once);
      const Box b = DrawnBox(twice);
      ASSERT_EQ(a.left < 0, b.left < 0);
      // Pixel x at 1x covers 2x and 2x + 1: the drawn edges of the finer image lie within that
      // pair, give or take the one edge pixel whose coverage crosses the threshold differently.
      EXPECT_NEAR(b.left, 2 * a.left, 2);
      EXPECT_NEAR(b.top, 2 * a.top, 2);
      EXPECT_NEAR(b.right, 2 * a.right + 1, 2);
      EXPECT_NEAR(b.bottom, 2 * a.bottom + 1, 2) << "the feet row";
    }
  }
  EXPECT_GT(pairs, 24 * 98);
  for (const auto& [kind, psnr] : least) {
    std::printf("least PSNR of a %s: %.1f dB\n", kind.c_str(), psnr);
  }
}

TEST(TwiceSizeArt, DataStaysUnder110Megabytes) {
  uintmax_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kSource / "data")) {
    if (entry.is_regular_file()) {
      total += entry.file_size();
    }
  }
  EXPECT_LE(total, 110u * 1024 * 1024);
}

}  // namespace
