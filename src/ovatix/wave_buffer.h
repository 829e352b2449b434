// PCM frame blocks, the RIFF/WAVE file reader and writer, and the named set of loaded waves.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct WaveFormat {
  uint16_t formatTag = 1;  // 1 = PCM
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;

  static WaveFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bits);
};

// RIFF/WAVE file over standard file I/O. Read mode reads the "fmt " and "data" chunks; write mode
// writes a PCM header with a "fact" chunk and appends sample bytes to the "data" chunk. A written
// file goes to a temporary name and takes its real name when it is closed.
class CWaveFile {
 public:
  enum class Mode { kRead, kWrite };

  CWaveFile() = default;
  ~CWaveFile();
  CWaveFile(const CWaveFile&) = delete;
  CWaveFile& operator=(const CWaveFile&) = delete;

  // Status 0 on success, negative on failure (the file is closed again then).
  int Open(const std::string& path, const WaveFormat* format, Mode mode);
  // Reads from an already open stream (used for in-memory data); takes ownership of file.
  int OpenRead(std::FILE* file);
  size_t Read(void* buffer, size_t size);
  size_t Write(size_t size, const void* bytes);
  void Close();

  bool IsOpen() const { return file_ != nullptr; }
  const WaveFormat& Format() const { return format_; }
  // Size of the data chunk as declared in the file, and the part of it the file really holds.
  uint32_t DataSize() const { return dataSize_; }
  uint32_t AvailableDataSize() const { return available_; }

 private:
  int ReadHeader();
  void Fail();

  std::FILE* file_ = nullptr;
  Mode mode_ = Mode::kRead;
  WaveFormat format_;
  uint32_t dataSize_ = 0;
  uint32_t available_ = 0;
  uint32_t left_ = 0;
  std::string path_;
  std::string tempPath_;
  bool writeFailed_ = false;
};

class TWaveBuffer {
 public:
  // Raises for bit depths other than 8/16 and for non-PCM formats; initial may be null.
  TWaveBuffer(uint32_t frames, const WaveFormat& format, const void* initial = nullptr);
  ~TWaveBuffer();
  TWaveBuffer(const TWaveBuffer&) = delete;
  TWaveBuffer& operator=(const TWaveBuffer&) = delete;

  const WaveFormat& Format() const { return format_; }
  uint32_t Frames() const { return frames_; }
  size_t Bytes() const { return static_cast<size_t>(format_.blockAlign) * frames_; }
  uint8_t* Data() { return data_.get(); }
  const uint8_t* Data() const { return data_.get(); }
  uint8_t* FrameAt(uint32_t index) {
    return data_.get() + static_cast<size_t>(index) * format_.blockAlign;
  }
  void Clear();

  void AddRef() { refs_.fetch_add(1); }
  void Release() { refs_.fetch_sub(1); }
  int32_t RefCount() const { return refs_.load(); }

  void CreateWaveFile(const std::string& path);
  void CloseWaveFile();
  void AppendToWaveFile();
  bool FileCreated() const { return fileCreated_; }

 private:
  WaveFormat format_;
  std::atomic<int32_t> refs_{0};
  std::unique_ptr<uint8_t[]> data_;
  CWaveFile file_;
  bool fileCreated_ = false;
  uint32_t frames_ = 0;
};

class TVolumer;

// Mixes source frames [position, end) of src into dst frames [first, last) with the given pitch
// and optional gain stages (see the scene's renderer). Writes (no sum) when add is false. Returns
// the number of destination frames used; position advances by the source frames consumed.
uint32_t MixWave(const TWaveBuffer& src, uint32_t& position, uint32_t end, TWaveBuffer& dst,
                 uint32_t first, uint32_t last, float pitch, TVolumer* master, TVolumer* envelope,
                 bool add);

class TWaveContainer {
 public:
  // Loads a wave file under name; raises with a message on any failure and stores nothing then.
  void Load(const std::string& path, const std::string& name);
  // Same, from an open stream (in-memory data); path is used in messages only.
  void Load(std::FILE* file, const std::string& path, const std::string& name);
  std::shared_ptr<TWaveBuffer> Find(const std::string& name) const;
  bool Contains(const std::string& name) const { return waves_.count(name) != 0; }
  void Clear() { waves_.clear(); }
  size_t Size() const { return waves_.size(); }

 private:
  void LoadFrom(CWaveFile& file, int status, const std::string& path, const std::string& name);
  std::map<std::string, std::shared_ptr<TWaveBuffer>> waves_;
};
