// Builds wave files byte by byte for the tests, independently of the engine's own writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace ovatix_test {

inline void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
inline void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    s += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
}
inline uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) {
    v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  }
  return v;
}
inline uint16_t Get16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) |
                               (static_cast<uint8_t>(s[at + 1]) << 8));
}

struct WavSpec {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  uint32_t fmtSize = 16;      // 18 adds an extra-size field of 0
  bool listChunk = false;     // an unrelated chunk before "fmt "
  int64_t declaredData = -1;  // data size written in the header; -1 = the real size
};

inline std::string MakeWav(const WavSpec& w, const std::string& data) {
  std::string body = "WAVE";
  if (w.listChunk) {
    body += "LIST";
    Put32(body, 5);
    body += std::string("abcde") + '\0';
  }
  body += "fmt ";
  Put32(body, w.fmtSize);
  Put16(body, w.tag);
  Put16(body, w.channels);
  Put32(body, w.rate);
  const uint16_t align = static_cast<uint16_t>(w.channels * ((w.bits + 7) / 8));
  Put32(body, align * w.rate);
  Put16(body, align);
  Put16(body, w.bits);
  for (uint32_t i = 16; i < w.fmtSize; ++i) {
    body += '\0';
  }
  body += "data";
  Put32(body, w.declaredData < 0 ? static_cast<uint32_t>(data.size())
                                 : static_cast<uint32_t>(w.declaredData));
  body += data;
  if (data.size() & 1) {
    body += '\0';
  }
  std::string file = "RIFF";
  Put32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

inline std::string Pcm16(const std::vector<int16_t>& samples) {
  std::string s;
  for (int16_t v : samples) {
    Put16(s, static_cast<uint16_t>(v));
  }
  return s;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace ovatix_test
