#include "ovatix/wave_buffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "ovatix/error.h"
#include "ovatix/volumer.h"

using Ovatix::Error;

WaveFormat WaveFormat::Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  WaveFormat f;
  f.formatTag = 1;
  f.channels = channels;
  f.samplesPerSec = rate;
  f.blockAlign = static_cast<uint16_t>(channels * (bits / 8));
  f.avgBytesPerSec = f.blockAlign * rate;
  f.bitsPerSample = bits;
  f.extraSize = 0;
  return f;
}

// ---------------------------------------------------------------------------------------------
// CWaveFile

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutId(uint8_t* p, const char* id) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<uint8_t>(id[i]);
  }
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

// Opens a regular file for reading; a named pipe or a device named like a wave file would
// otherwise block the reader or feed it without end.
std::FILE* OpenRegularForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return nullptr;
  }
  struct stat status {};
  const int flags = ::fcntl(fd, F_GETFL);
  std::FILE* file = nullptr;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && flags >= 0 &&
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
    file = ::fdopen(fd, "rb");
  }
  if (file == nullptr) {
    ::close(fd);
  }
  return file;
}

bool ReadExact(std::FILE* f, void* buf, size_t n) { return std::fread(buf, 1, n, f) == n; }

bool Seek(std::FILE* f, int64_t pos) {
  return std::fseek(f, static_cast<long>(pos), SEEK_SET) == 0;
}

// Finds the chunk with the given id among the chunks from `from` up to `limit`; leaves the file
// positioned at the chunk's data and returns its offset and size.
bool FindChunk(std::FILE* f, const char* id, int64_t from, int64_t limit, int64_t& dataPos,
               uint32_t& size) {
  int64_t pos = from;
  while (pos + 8 <= limit) {
    uint8_t h[8];
    if (!Seek(f, pos) || !ReadExact(f, h, 8)) {
      return false;
    }
    const uint32_t s = Le32(h + 4);
    if (std::memcmp(h, id, 4) == 0) {
      dataPos = pos + 8;
      size = s;
      return true;
    }
    pos += 8 + static_cast<int64_t>(s) + (s & 1);
  }
  return false;
}

}  // namespace

CWaveFile::~CWaveFile() { Close(); }

void CWaveFile::Fail() {
  if (file_) {
    std::fclose(file_);
  }
  file_ = nullptr;
  if (mode_ == Mode::kWrite && !tempPath_.empty()) {
    std::remove(tempPath_.c_str());
  }
  tempPath_.clear();
}

int CWaveFile::Open(const std::string& path, const WaveFormat* format, Mode mode) {
  Close();
  mode_ = mode;
  path_ = path;
  if (mode == Mode::kRead) {
    std::FILE* f = OpenRegularForReading(path);
    if (!f) {
      return -1;
    }
    return OpenRead(f);
  }
  if (!format) {
    return -1;
  }
  format_ = *format;
  tempPath_ = path + ".part";
  file_ = std::fopen(tempPath_.c_str(), "w+b");
  if (!file_) {
    tempPath_.clear();
    return -1;
  }
  const bool pcm = format_.formatTag == 1;
  const uint32_t fmtSize = pcm ? 16u : 18u + format_.extraSize;
  std::vector<uint8_t> h(12 + 8 + fmtSize + (fmtSize & 1) + 12 + 8, 0);
  uint8_t* p = h.data();
  PutId(p, "RIFF");
  PutId(p + 8, "WAVE");
  PutId(p + 12, "fmt ");
  Put32(p + 16, fmtSize);
  Put16(p + 20, format_.formatTag);
  Put16(p + 22, format_.channels);
  Put32(p + 24, format_.samplesPerSec);
  Put32(p + 28, format_.avgBytesPerSec);
  Put16(p + 32, format_.blockAlign);
  Put16(p + 34, format_.bitsPerSample);
  if (!pcm) {
    Put16(p + 36, format_.extraSize);  // the extra bytes themselves are written as zeros
  }
  uint8_t* q = p + 20 + fmtSize + (fmtSize & 1);
  PutId(q, "fact");
  Put32(q + 4, 4);
  Put32(q + 8, 0xFFFFFFFFu);
  PutId(q + 12, "data");
  if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
    Fail();
    return -1;
  }
  dataSize_ = 0;
  writeFailed_ = false;
  return 0;
}

int CWaveFile::OpenRead(std::FILE* file) {
  if (file_ && file_ != file) {
    Close();
  }
  mode_ = Mode::kRead;
  file_ = file;
  if (ReadHeader() < 0) {
    Fail();
    return -1;
  }
  return 0;
}

int CWaveFile::ReadHeader() {
  if (std::fseek(file_, 0, SEEK_END) != 0) {
    return -1;
  }
  const int64_t fileSize = std::ftell(file_);
  if (fileSize < 12 || !Seek(file_, 0)) {
    return -1;
  }
  uint8_t h[16];
  if (!ReadExact(file_, h, 12)) {
    return -1;
  }
  if (std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0) {
    return -1;
  }
  const int64_t limit = std::min<int64_t>(fileSize, 8 + static_cast<int64_t>(Le32(h + 4)));

  int64_t pos = 0;
  uint32_t size = 0;
  if (!FindChunk(file_, "fmt ", 12, limit, pos, size) || size < 16) {
    return -1;
  }
  if (!ReadExact(file_, h, 16)) {
    return -1;
  }
  WaveFormat f;
  f.formatTag = Le16(h);
  f.channels = Le16(h + 2);
  f.samplesPerSec = Le32(h + 4);
  f.avgBytesPerSec = Le32(h + 8);
  f.blockAlign = Le16(h + 12);
  f.bitsPerSample = Le16(h + 14);
  f.extraSize = 0;
  if (f.formatTag != 1) {
    uint8_t e[2];
    if (!ReadExact(file_, e, 2)) {
      return -1;
    }
    f.extraSize = Le16(e);
    // The extra bytes must be present; their content is not used.
    if (pos + 18 + f.extraSize > fileSize) {
      return -1;
    }
  }
  format_ = f;

  if (!FindChunk(file_, "data", 12, limit, pos, size)) {
    return -1;
  }
  dataSize_ = size;
  available_ = static_cast<uint32_t>(std::clamp<int64_t>(fileSize - pos, 0, size));
  left_ = available_;
  return Seek(file_, pos) ? 0 : -1;
}

size_t CWaveFile::Read(void* buffer, size_t size) {
  if (!file_ || mode_ != Mode::kRead) {
    return 0;
  }
  const size_t n = std::min<size_t>(size, left_);
  const size_t got = std::fread(buffer, 1, n, file_);
  left_ -= static_cast<uint32_t>(got);
  return got;
}

size_t CWaveFile::Write(size_t size, const void* bytes) {
  if (!file_ || mode_ != Mode::kWrite || writeFailed_) {
    return 0;
  }
  // The data chunk size is a 32-bit field: refuse what would not fit.
  if (size > 0xFFFFFF00u - 64u - dataSize_) {
    return 0;
  }
  const size_t n = std::fwrite(bytes, 1, size, file_);
  if (n != size) {
    writeFailed_ = true;
  }
  dataSize_ += static_cast<uint32_t>(n);
  return n;
}

void CWaveFile::Close() {
  if (!file_) {
    return;
  }
  if (mode_ == Mode::kRead) {
    std::fclose(file_);
    file_ = nullptr;
    return;
  }
  bool ok = !writeFailed_;
  if (ok && (dataSize_ & 1)) {
    ok = std::fputc(0, file_) != EOF;
  }
  ok = ok && std::fflush(file_) == 0;
  const int64_t fileSize = ok ? std::ftell(file_) : -1;
  ok = ok && fileSize >= 0;
  if (ok) {
    uint8_t b[4];
    const uint32_t fmtSize = format_.formatTag == 1 ? 16u : 18u + format_.extraSize;
    const int64_t factPos = 20 + fmtSize + (fmtSize & 1);
    Put32(b, static_cast<uint32_t>(fileSize - 8));
    ok = Seek(file_, 4) && std::fwrite(b, 1, 4, file_) == 4;
    Put32(b, 0);
    ok = ok && Seek(file_, factPos + 8) && std::fwrite(b, 1, 4, file_) == 4;
    Put32(b, dataSize_);
    ok = ok && Seek(file_, factPos + 16) && std::fwrite(b, 1, 4, file_) == 4;
  }
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (ok) {
    ok = std::rename(tempPath_.c_str(), path_.c_str()) == 0;
  }
  if (!ok) {
    std::remove(tempPath_.c_str());
  }
  tempPath_.clear();
}

// ---------------------------------------------------------------------------------------------
// TWaveBuffer

TWaveBuffer::TWaveBuffer(uint32_t frames, const WaveFormat& format, const void* initial)
    : format_(format), frames_(frames) {
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16) {
    throw Error("WaveBuffer supports 8 and 16 bit depth only!");
  }
  if (format.formatTag != 1) {
    throw Error("WaveBuffer supports WAVE_FORMAT_PCM only!");
  }
  if (format.channels == 0 || format.samplesPerSec == 0 ||
      format.blockAlign < format.channels * (format.bitsPerSample / 8)) {
    throw Error("WaveBuffer: inconsistent wave format");
  }
  const size_t bytes = Bytes();
  data_.reset(new (std::nothrow) uint8_t[bytes ? bytes : 1]);
  if (!data_) {
    throw Error("Out of memory!");
  }
  if (initial) {
    std::memcpy(data_.get(), initial, bytes);
  } else {
    std::memset(data_.get(), 0, bytes);
  }
}

TWaveBuffer::~TWaveBuffer() { CloseWaveFile(); }

void TWaveBuffer::Clear() { std::memset(data_.get(), 0, Bytes()); }

void TWaveBuffer::CreateWaveFile(const std::string& path) {
  CloseWaveFile();
  if (file_.Open(path, &format_, CWaveFile::Mode::kWrite) < 0) {
    throw Error("Error create file '" + path + "'");
  }
  fileCreated_ = true;
}

void TWaveBuffer::CloseWaveFile() {
  if (!fileCreated_) {
    return;
  }
  file_.Close();
  fileCreated_ = false;
}

void TWaveBuffer::AppendToWaveFile() {
  if (!fileCreated_) {
    throw Error("File not createt yet. Use CreateWaveFile");
  }
  file_.Write(Bytes(), data_.get());
}

// ---------------------------------------------------------------------------------------------
// Mixing

namespace {

constexpr int kMaxChannels = 256;

#define OVATIX_INLINE inline __attribute__((always_inline))
#define OVATIX_INLINE_LAMBDA __attribute__((always_inline))

template <int SrcBytes>
OVATIX_INLINE int32_t ReadSample(const uint8_t* p) {
  if constexpr (SrcBytes == 2) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
  } else {
    return (static_cast<int32_t>(*p) - 128) * 128;
  }
}

// Ch is the destination channel count when known at compile time, 0 otherwise.
template <int SrcBytes, int Ch>
OVATIX_INLINE void ReadFrame(const uint8_t* p, int srcCh, int dstCh, int32_t* v) {
  const int n = Ch ? Ch : dstCh;
  if (Ch == 1 || srcCh >= n) {
    for (int j = 0; j < n; ++j) {
      v[j] = ReadSample<SrcBytes>(p + j * SrcBytes);
    }
  } else {
    for (int j = 0; j < srcCh; ++j) {
      v[j] = ReadSample<SrcBytes>(p + j * SrcBytes);
    }
    const int32_t last = v[srcCh - 1];
    for (int j = srcCh; j < n; ++j) {
      v[j] = last;
    }
  }
}

// One gain stage during a mix: the gains and the ramp live in locals and are written back to the
// TVolumer whenever it has to do more than add its slope (end of a ramp, next node), and at the
// end. Each frame gives exactly the arithmetic of TVolumer::Apply and TVolumer::Advance1.
template <int Ch>
class Stage {
 public:
  OVATIX_INLINE Stage(TVolumer* v, int channels) : vol_(v), channels_(channels) {
    if (vol_) {
      Load();
    }
  }
  OVATIX_INLINE ~Stage() {
    if (vol_) {
      Store();
    }
  }
  OVATIX_INLINE bool active() const { return vol_ != nullptr; }
  OVATIX_INLINE void Apply(int32_t* v) const {
    if (muted_) {
      for (int i = 0; i < n(); ++i) {
        v[i] = 0;
      }
    } else {
      for (int i = 0; i < n(); ++i) {
        v[i] = static_cast<int32_t>(static_cast<float>(v[i]) * g_[i]);
      }
    }
  }
  OVATIX_INLINE void Advance() {
    if (left_ > 1) {
      for (int i = 0; i < n(); ++i) {
        g_[i] = g_[i] + s_[i];
      }
      --left_;
    } else if (!idle_) {
      Slow();
    }
  }

 private:
  OVATIX_INLINE int n() const { return Ch ? Ch : channels_; }
  __attribute__((noinline)) void Slow() {
    Store();
    vol_->Advance1();
    Load();
  }
  OVATIX_INLINE void Load() {
    muted_ = vol_->IsMuted();
    left_ = vol_->Remaining();
    idle_ = left_ == 0 && !vol_->HasNodes();
    const float* c = vol_->CurrentData();
    const float* s = vol_->SlopeData();
    for (int i = 0; i < n(); ++i) {
      g_[i] = c[i];
      s_[i] = s[i];
    }
  }
  OVATIX_INLINE void Store() {
    float* c = vol_->CurrentData();
    for (int i = 0; i < n(); ++i) {
      c[i] = g_[i];
    }
    vol_->SetRemaining(left_);
  }

  TVolumer* vol_;
  const int channels_;
  bool muted_ = false;
  bool idle_ = true;
  int32_t left_ = 0;
  float g_[Ch ? Ch : kMaxChannels];
  float s_[Ch ? Ch : kMaxChannels];
};

template <int Ch>
OVATIX_INLINE void Gain(int32_t* v, Stage<Ch>& master, Stage<Ch>& env) {
  if (master.active()) {
    master.Apply(v);
    master.Advance();
  }
  if (env.active()) {
    env.Apply(v);
    env.Advance();
  }
}

template <bool Add, int Ch>
OVATIX_INLINE void WriteFrame(int16_t* d, const int32_t* v, int dstCh) {
  const int n = Ch ? Ch : dstCh;
  for (int j = 0; j < n; ++j) {
    if constexpr (Add) {
      const int32_t s = d[j] + v[j];
      d[j] = static_cast<int16_t>(s > 16383 ? 16383 : (s < -16383 ? -16383 : s));
    } else {
      // The first instance is written as is; gains above 1.0 are limited, never wrapped.
      d[j] = static_cast<int16_t>(std::clamp<int32_t>(v[j], -32768, 32767));
    }
  }
}

template <int SrcBytes, bool Add, int Ch>
uint32_t MixT(const TWaveBuffer& src, uint32_t& position, uint32_t end, TWaveBuffer& dst,
              uint32_t first, uint32_t last, double step, TVolumer* masterVol, TVolumer* envVol) {
  const int srcCh = src.Format().channels;
  const int dstCh = Ch ? Ch : dst.Format().channels;
  const size_t srcAlign = src.Format().blockAlign;
  const uint8_t* s = src.Data();
  auto* d = reinterpret_cast<int16_t*>(dst.Data());
  Stage<Ch> master(masterVol, dstCh);
  Stage<Ch> env(envVol, dstCh);
  int32_t v[Ch ? Ch : kMaxChannels] = {};
  uint32_t c = first;
  if (step == 1.0) {
    const uint32_t n = std::min(last - first, end - position);
    const uint8_t* p = s + static_cast<size_t>(position) * srcAlign;
    int16_t* q = d + static_cast<size_t>(c) * dstCh;
    for (uint32_t k = 0; k < n; ++k, p += srcAlign, q += dstCh) {
      ReadFrame<SrcBytes, Ch>(p, srcCh, dstCh, v);
      Gain(v, master, env);
      WriteFrame<Add, Ch>(q, v, dstCh);
    }
    position += n;
    return n;
  }
  float acc = 1.0f;
  if (step > 1.0) {
    // Faster: source frames are dropped.
    const auto inc = static_cast<float>(1.0 / step);
    while (c < last && position < end) {
      const uint32_t from = position++;
      if (acc >= 1.0f) {
        ReadFrame<SrcBytes, Ch>(s + static_cast<size_t>(from) * srcAlign, srcCh, dstCh, v);
        Gain(v, master, env);
        WriteFrame<Add, Ch>(d + static_cast<size_t>(c++) * dstCh, v, dstCh);
        acc -= 1.0f;
      }
      acc += inc;
    }
  } else {
    // Slower: source frames are repeated; the last one is held for its full share as well.
    const auto inc = static_cast<float>(step);
    while (c < last && (acc < 1.0f || position < end)) {
      if (acc >= 1.0f) {
        ReadFrame<SrcBytes, Ch>(s + static_cast<size_t>(position++) * srcAlign, srcCh, dstCh, v);
        Gain(v, master, env);
        acc -= 1.0f;
      }
      WriteFrame<Add, Ch>(d + static_cast<size_t>(c++) * dstCh, v, dstCh);
      acc += inc;
    }
  }
  return c - first;
}

// Scalar gain state of one stage for one- and two-channel scenes, kept in registers by the
// inner loops. Each frame does exactly what TVolumer::Apply and TVolumer::Advance1 do.
struct GainState {
  float g0 = 1.0f, g1 = 1.0f, s0 = 0.0f, s1 = 0.0f;
  int32_t left = 0;
  bool idle = true;
  bool muted = false;
};

OVATIX_INLINE GainState LoadState(const TVolumer* v, int ch) {
  GainState st;
  const float* c = const_cast<TVolumer*>(v)->CurrentData();
  const float* s = v->SlopeData();
  st.g0 = c[0];
  st.s0 = s[0];
  st.g1 = ch > 1 ? c[1] : 0.0f;
  st.s1 = ch > 1 ? s[1] : 0.0f;
  st.left = v->Remaining();
  st.idle = st.left == 0 && !v->HasNodes();
  st.muted = v->IsMuted();
  return st;
}

OVATIX_INLINE void StoreState(TVolumer* v, const GainState& st, int ch) {
  float* c = v->CurrentData();
  c[0] = st.g0;
  if (ch > 1) {
    c[1] = st.g1;
  }
  v->SetRemaining(st.left);
}

__attribute__((noinline)) GainState SlowStep(TVolumer* v, GainState st, int ch) {
  StoreState(v, st, ch);
  v->Advance1();
  return LoadState(v, ch);
}

template <int Ch>
OVATIX_INLINE void GainStep(GainState& st, TVolumer* v, int32_t& a, int32_t& b) {
  if (st.muted) {
    a = 0;
    b = 0;
  } else {
    a = static_cast<int32_t>(static_cast<float>(a) * st.g0);
    if (Ch == 2) {
      b = static_cast<int32_t>(static_cast<float>(b) * st.g1);
    }
  }
  if (st.left > 1) {
    st.g0 = st.g0 + st.s0;
    if (Ch == 2) {
      st.g1 = st.g1 + st.s1;
    }
    --st.left;
  } else if (!st.idle) {
    st = SlowStep(v, st, Ch);
  }
}

template <bool Add>
OVATIX_INLINE void Put(int16_t* d, int32_t v) {
  if constexpr (Add) {
    const int32_t s = *d + v;
    *d = static_cast<int16_t>(s > 16383 ? 16383 : (s < -16383 ? -16383 : s));
  } else {
    *d = static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
  }
}

// The mix for one- and two-channel scenes. Mono: the source has one channel.
template <int SrcBytes, bool Add, int Ch, bool Mono, bool HasMaster, bool HasEnv>
uint32_t MixSmall(const TWaveBuffer& src, uint32_t& position, uint32_t end, TWaveBuffer& dst,
                  uint32_t first, uint32_t last, double step, TVolumer* masterVol,
                  TVolumer* envVol) {
  const size_t align = src.Format().blockAlign;
  const uint8_t* s = src.Data();
  auto* d = reinterpret_cast<int16_t*>(dst.Data());
  GainState m, e;
  if (HasMaster) {
    m = LoadState(masterVol, Ch);
  }
  if (HasEnv) {
    e = LoadState(envVol, Ch);
  }
  int32_t a = 0, b = 0;
  auto read = [&](uint32_t frame) OVATIX_INLINE_LAMBDA {
    const uint8_t* p = s + static_cast<size_t>(frame) * align;
    a = ReadSample<SrcBytes>(p);
    if (Ch == 2) {
      b = Mono ? a : ReadSample<SrcBytes>(p + SrcBytes);
    }
    if (HasMaster) {
      GainStep<Ch>(m, masterVol, a, b);
    }
    if (HasEnv) {
      GainStep<Ch>(e, envVol, a, b);
    }
  };
  auto write = [&](uint32_t frame) OVATIX_INLINE_LAMBDA {
    int16_t* q = d + static_cast<size_t>(frame) * Ch;
    Put<Add>(q, a);
    if (Ch == 2) {
      Put<Add>(q + 1, b);
    }
  };
  uint32_t c = first;
  if (step == 1.0) {
    const uint32_t n = std::min(last - first, end - position);
    for (uint32_t k = 0; k < n; ++k) {
      read(position + k);
      write(c + k);
    }
    position += n;
    c += n;
  } else if (step > 1.0) {
    float acc = 1.0f;
    const auto inc = static_cast<float>(1.0 / step);
    while (c < last && position < end) {
      const uint32_t from = position++;
      if (acc >= 1.0f) {
        read(from);
        write(c++);
        acc -= 1.0f;
      }
      acc += inc;
    }
  } else {
    float acc = 1.0f;
    const auto inc = static_cast<float>(step);
    while (c < last && (acc < 1.0f || position < end)) {
      if (acc >= 1.0f) {
        read(position++);
        acc -= 1.0f;
      }
      write(c++);
      acc += inc;
    }
  }
  if (HasMaster) {
    StoreState(masterVol, m, Ch);
  }
  if (HasEnv) {
    StoreState(envVol, e, Ch);
  }
  return c - first;
}

template <int SrcBytes, bool Add, int Ch, bool Mono>
uint32_t MixSmallStages(const TWaveBuffer& src, uint32_t& position, uint32_t end, TWaveBuffer& dst,
                        uint32_t first, uint32_t last, double step, TVolumer* master,
                        TVolumer* env) {
  if (master) {
    return env ? MixSmall<SrcBytes, Add, Ch, Mono, true, true>(src, position, end, dst, first, last,
                                                               step, master, env)
               : MixSmall<SrcBytes, Add, Ch, Mono, true, false>(src, position, end, dst, first,
                                                                last, step, master, env);
  }
  return env ? MixSmall<SrcBytes, Add, Ch, Mono, false, true>(src, position, end, dst, first, last,
                                                              step, master, env)
             : MixSmall<SrcBytes, Add, Ch, Mono, false, false>(src, position, end, dst, first, last,
                                                               step, master, env);
}

template <int SrcBytes, bool Add, int Ch>
uint32_t MixSmallSource(const TWaveBuffer& src, uint32_t& position, uint32_t end, TWaveBuffer& dst,
                        uint32_t first, uint32_t last, double step, TVolumer* master,
                        TVolumer* env) {
  if (Ch == 2 && src.Format().channels == 1) {
    return MixSmallStages<SrcBytes, Add, Ch, true>(src, position, end, dst, first, last, step,
                                                   master, env);
  }
  return MixSmallStages<SrcBytes, Add, Ch, false>(src, position, end, dst, first, last, step,
                                                  master, env);
}

template <int Ch>
uint32_t MixDispatch(const TWaveBuffer& src, uint32_t& position, uint32_t end, TWaveBuffer& dst,
                     uint32_t first, uint32_t last, double step, TVolumer* master, TVolumer* env,
                     bool add) {
  if constexpr (Ch == 1 || Ch == 2) {
    if (src.Format().bitsPerSample == 8) {
      return add ? MixSmallSource<1, true, Ch>(src, position, end, dst, first, last, step, master,
                                               env)
                 : MixSmallSource<1, false, Ch>(src, position, end, dst, first, last, step, master,
                                                env);
    }
    return add ? MixSmallSource<2, true, Ch>(src, position, end, dst, first, last, step, master,
                                             env)
               : MixSmallSource<2, false, Ch>(src, position, end, dst, first, last, step, master,
                                              env);
  } else {
    if (src.Format().bitsPerSample == 8) {
      return add ? MixT<1, true, Ch>(src, position, end, dst, first, last, step, master, env)
                 : MixT<1, false, Ch>(src, position, end, dst, first, last, step, master, env);
    }
    return add ? MixT<2, true, Ch>(src, position, end, dst, first, last, step, master, env)
               : MixT<2, false, Ch>(src, position, end, dst, first, last, step, master, env);
  }
}

}  // namespace

uint32_t MixWave(const TWaveBuffer& src, uint32_t& position, uint32_t end, TWaveBuffer& dst,
                 uint32_t first, uint32_t last, float pitch, TVolumer* master, TVolumer* envelope,
                 bool add) {
  if (!(pitch > 0.0f)) {
    throw Error("Pitch<=0");
  }
  if (dst.Format().bitsPerSample != 16) {
    throw Error("Mixing needs a 16-bit destination");
  }
  end = std::min(end, src.Frames());
  last = std::min(last, dst.Frames());
  if (position >= end || first >= last) {
    return 0;
  }
  double step = pitch;
  if (src.Format().samplesPerSec != dst.Format().samplesPerSec) {
    step = step * src.Format().samplesPerSec / dst.Format().samplesPerSec;
  }
  if ((master && master->Channels() != dst.Format().channels) ||
      (envelope && envelope->Channels() != dst.Format().channels)) {
    throw Error("Gain stage and destination have different channel counts");
  }
  switch (dst.Format().channels) {
    case 1:
      return MixDispatch<1>(src, position, end, dst, first, last, step, master, envelope, add);
    case 2:
      return MixDispatch<2>(src, position, end, dst, first, last, step, master, envelope, add);
    default:
      return MixDispatch<0>(src, position, end, dst, first, last, step, master, envelope, add);
  }
}

// ---------------------------------------------------------------------------------------------
// TWaveContainer

void TWaveContainer::Load(const std::string& path, const std::string& name) {
  if (Contains(name)) {
    throw Error("Wave name '" + name + "' allready present.");
  }
  CWaveFile file;
  const int status = file.Open(path, nullptr, CWaveFile::Mode::kRead);
  LoadFrom(file, status, path, name);
}

void TWaveContainer::Load(std::FILE* f, const std::string& path, const std::string& name) {
  if (Contains(name)) {
    std::fclose(f);
    throw Error("Wave name '" + name + "' allready present.");
  }
  CWaveFile file;
  const int status = file.OpenRead(f);
  LoadFrom(file, status, path, name);
}

void TWaveContainer::LoadFrom(CWaveFile& file, int status, const std::string& path,
                              const std::string& name) {
  if (status < 0) {
    throw Error("Error open file '" + path + "'");
  }
  // A data chunk cut short by the end of the file holds only the frames really present.
  const uint32_t size = file.AvailableDataSize();
  if (file.DataSize() == 0 || size == 0) {
    throw Error("file '" + path + "' is empty");
  }
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size]);
  if (!data) {
    throw Error("Out of memory!");
  }
  const size_t got = file.Read(data.get(), size);
  if (got < size) {
    std::memset(data.get() + got, 0, size - got);
  }
  const WaveFormat& f = file.Format();
  if (f.formatTag != 1) {
    throw Error("File '" + path + "' read error: non-PCM wav format");
  }
  const uint32_t frames = f.blockAlign ? size / f.blockAlign : 0;
  auto buffer = std::make_shared<TWaveBuffer>(frames, f, data.get());
  waves_.emplace(name, std::move(buffer));
  file.Close();
}

std::shared_ptr<TWaveBuffer> TWaveContainer::Find(const std::string& name) const {
  auto it = waves_.find(name);
  if (it == waves_.end()) {
    throw Error("Wave with name '" + name + "' not found");
  }
  return it->second;
}
