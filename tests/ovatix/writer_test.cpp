#include "ovatix/wave_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "ovatix/error.h"
#include "wav_maker.h"

using namespace ovatix_test;

namespace {

std::atomic<int> g_calls{0};
void CountCalls(void*, uint32_t) { g_calls.fetch_add(1); }

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const Ovatix::Error& e) {
    return e.what();
  }
  return "";
}

// Runs f with standard error sent to a file and returns what was written there.
std::string CaptureStderr(const std::function<void()>& f) {
  TempDir dir;
  const std::string path = dir / "stderr.txt";
  std::fflush(stderr);
  const int saved = dup(2);
  std::FILE* file = std::fopen(path.c_str(), "w");
  dup2(fileno(file), 2);
  f();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(file);
  return ReadFile(path);
}

TEST(DeviceWaveWriter, FailsCleanlyWithoutADevice) {
  TWaveBuffer buffer(441, WaveFormat::Pcm(44100, 2, 16));
  TDeviceWaveWriter writer(&CountCalls, nullptr);
  EXPECT_EQ(writer.FreeBuffers(), 2);
  EXPECT_EQ(Message([&] { writer.WriteBuffer(buffer.Data(), buffer.Bytes()); }),
            "TDeviceWaveWriter::WriteBuffer: WaveOutDevice not open.");
  EXPECT_EQ(Message([&] { writer.Open("two", buffer); }),
            "TDeviceWaveWriter::Open: invalid device number 'two'");
  EXPECT_EQ(Message([&] { writer.Open("9999", buffer); }),
            "TDeviceWaveWriter::Open: Cant open wave device");
  std::string message;
  const std::string noise =
      CaptureStderr([&] { message = Message([&] { writer.Open("-1", buffer); }); });
  EXPECT_EQ(noise, "");
  if (message.empty()) {
    // A machine with a sound device: two buffers may be written, then none until one is done.
    EXPECT_EQ(writer.FreeBuffers(), 2);
    writer.WriteBuffer(buffer.Data(), buffer.Bytes());
    EXPECT_EQ(writer.FreeBuffers(), 1);
    writer.Close();
    GTEST_SKIP() << "a sound device is present; the failure path was not exercised";
  }
  EXPECT_EQ(message, "TDeviceWaveWriter::Open: Cant open wave device");
  EXPECT_FALSE(writer.IsOpen());
}

TEST(DeviceWaveWriter, KeepsTwoBuffersInFlight) {
  // Without a device, Pull() plays the device's part: it consumes queued bytes in order.
  TWaveBuffer buffer(4, WaveFormat::Pcm(8000, 1, 16));
  TDeviceWaveWriter writer(&CountCalls, nullptr);
  writer.OpenDetached(buffer);
  EXPECT_TRUE(writer.IsOpen());
  EXPECT_EQ(writer.FreeBuffers(), 2);
  auto fill = [&](int16_t v) {
    auto* d = reinterpret_cast<int16_t*>(buffer.Data());
    for (int i = 0; i < 4; ++i) {
      d[i] = v;
    }
    writer.WriteBuffer(buffer.Data(), buffer.Bytes());
  };
  fill(1);
  EXPECT_EQ(writer.FreeBuffers(), 1);
  fill(2);
  EXPECT_EQ(writer.FreeBuffers(), 0);
  fill(3);  // refused: both blocks are queued
  EXPECT_EQ(writer.WrittenCount(), 2u);
  const int before = g_calls.load();
  int16_t out[6] = {};
  writer.Pull(reinterpret_cast<uint8_t*>(out), 6);  // all of block 0, half of block 1
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[3], 1);
  EXPECT_EQ(out[4], 2);
  EXPECT_EQ(writer.DoneCount(), 1u);
  EXPECT_EQ(writer.FreeBuffers(), 1);
  // The worker asks the client for the next buffer.
  for (int i = 0; i < 500 && g_calls.load() == before; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_GT(g_calls.load(), before);
  fill(4);  // goes to block 0 again
  writer.Pull(reinterpret_cast<uint8_t*>(out), 6);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[2], 4);
  EXPECT_EQ(out[5], 4);
  EXPECT_EQ(writer.DoneCount(), 3u);
  EXPECT_EQ(writer.FreeBuffers(), 2);
  writer.Pull(reinterpret_cast<uint8_t*>(out), 4);  // nothing queued: silence
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(writer.DoneCount(), 3u);
  // Reopening restarts the counts.
  writer.OpenDetached(buffer);
  EXPECT_EQ(writer.WrittenCount(), 0u);
  EXPECT_EQ(writer.DoneCount(), 0u);
  writer.Close();
  EXPECT_FALSE(writer.IsOpen());
}

TEST(FileWaveWriter, WritesOnlyWhatItIsGiven) {
  TempDir dir;
  TWaveBuffer buffer(4, WaveFormat::Pcm(8000, 1, 16));
  TFileWaveWriter writer(&CountCalls, nullptr);
  EXPECT_EQ(Message([&] { writer.WriteBuffer(buffer.Data(), buffer.Bytes()); }),
            "Wave file not opened. Use Open method.");
  EXPECT_EQ(Message([&] { writer.Close(); }), "Wave file not opened. Use Open method.");
  writer.Open(dir / "w.wav", buffer);
  EXPECT_EQ(writer.FreeBuffers(), 1);
  // Nobody writes (a stopped scene): the worker keeps asking, the file stays empty.
  const int before = g_calls.load();
  for (int i = 0; i < 500 && g_calls.load() < before + 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(writer.WrittenCount(), 0u);
  auto* d = reinterpret_cast<int16_t*>(buffer.Data());
  for (int i = 0; i < 4; ++i) {
    d[i] = static_cast<int16_t>(i + 1);
  }
  writer.WriteBuffer(buffer.Data(), buffer.Bytes());
  EXPECT_EQ(writer.FreeBuffers(), 0);
  for (int i = 0; i < 500 && writer.DoneCount() < 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(writer.FreeBuffers(), 1);
  writer.Close();
  const std::string f = ReadFile(dir / "w.wav");
  ASSERT_EQ(f.size(), 56u + 8u);
  EXPECT_EQ(Get16(f, 56), 1);
  EXPECT_EQ(Get16(f, 62), 4);
}

}  // namespace
