// Putting a stage frame on the screen: the canvas at scale 1 or 2 drawn into the window's stage
// (device pixel ratio 1 or 2) and into a full-screen stage of 1920 x 1080, as the stage pane does.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>

#include "widgets/stage_pane.h"

namespace {

using L::StagePane;

QGuiApplication& App() {
  static int argc = 3;
  static char name[] = "widgets_bench";
  static char platform[] = "-platform";
  static char offscreen[] = "offscreen";
  static char* argv[] = {name, platform, offscreen, nullptr};
  static auto* app = new QGuiApplication(argc, argv);
  return *app;
}

QImage Canvas(int scale) {
  QImage image(StagePane::kStageWidth * scale, StagePane::kStageHeight * scale,
               QImage::Format_RGB32);
  uint32_t state = 7;
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      state = state * 1664525u + 1013904223u;
      line[x] = 0xFF000000u | (state >> 8);
    }
  }
  return image;
}

// Arguments: the canvas's scale, the device pixel ratio, full screen (1) or the window's stage (0).
void BM_DrawStage(benchmark::State& state) {
  App();
  const int scale = static_cast<int>(state.range(0));
  const int ratio = static_cast<int>(state.range(1));
  const bool fullScreen = state.range(2) != 0;
  const QSize logical = fullScreen ? QSize(1920, 1080) / ratio
                                   : QSize(StagePane::kStageWidth, StagePane::kStageHeight);
  QImage device(logical * ratio, QImage::Format_RGB32);  // the backing store's format
  device.setDevicePixelRatio(ratio);
  const QRect target = fullScreen ? StagePane::FitStage(logical) : QRect(QPoint(), logical);
  const QImage canvas = Canvas(scale);
  for (auto _ : state) {
    QPainter painter(&device);
    StagePane::DrawCanvas(painter, target, canvas);
  }
  benchmark::DoNotOptimize(device.constBits());
}
BENCHMARK(BM_DrawStage)
    ->ArgNames({"scale", "dpr", "full"})
    ->Args({1, 1, 0})
    ->Args({2, 2, 0})
    ->Args({1, 2, 0})
    ->Args({1, 1, 1})
    ->Args({2, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();  // Qt's raster engine shares large scaled draws among worker threads

}  // namespace
