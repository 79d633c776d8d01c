#include "audio/MMWaveDecode.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/soundcard/pcm.h"

namespace {

void put32(std::vector<char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}
void putTag(std::vector<char>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

std::size_t formatBytes(const WAVEFORMATEX* f) { return sizeof(WAVEFORMATEX) + f->cbSize; }

// A WAVE header for `format` whose data chunk declares `dataBytes`.
std::vector<char> buildHeader(const WAVEFORMATEX* format, std::uint32_t dataBytes) {
  const std::size_t fmtSize = formatBytes(format);
  const std::size_t pad = fmtSize & 1;
  std::vector<char> h;
  putTag(h, "RIFF");
  put32(h, std::uint32_t(4 + 8 + fmtSize + pad + 8) + dataBytes);
  putTag(h, "WAVE");
  putTag(h, "fmt ");
  put32(h, std::uint32_t(fmtSize));
  const char* raw = reinterpret_cast<const char*>(format);
  h.insert(h.end(), raw, raw + fmtSize);
  if (pad) h.push_back(0);
  putTag(h, "data");
  put32(h, dataBytes);
  return h;
}

// The data size declared for a stream: as large as a RIFF file can say, in
// whole blocks, but with fewer samples (frames times channels) than a 32-bit
// signed count holds, which libsndfile needs to open the file. A mono IMA
// ADPCM stream at 22050 Hz (512-byte blocks of 1017 frames) would otherwise
// declare 4.3 thousand million frames and libsndfile refuses to open it.
std::uint32_t largeData(std::size_t blockAlign, std::size_t framesPerBlock, std::size_t channels) {
  const std::uint64_t limit = 0x7FFF0000u;
  const std::uint64_t samplesPerBlock = std::max<std::uint64_t>(1, std::uint64_t(framesPerBlock) * channels);
  const std::uint64_t blocks = std::min(limit / blockAlign, limit / samplesPerBlock);
  return std::uint32_t(blocks * blockAlign);
}

// Whether libsndfile reads the stream's samples as floating point; those
// come in -1..1 and must be scaled to the 16-bit range.
bool floatSubtype(int format) {
  const int sub = format & SF_FORMAT_SUBMASK;
  return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

}  // namespace

// A header followed by a data region of `dataBytes`, as libsndfile sees it.
struct TMMWaveDecoder::Shown {
  const std::vector<char>* header = nullptr;
  std::uint64_t dataBytes = 0;
  // Serves bytes of the data region from `offset` on; returns how many.
  std::function<std::size_t(std::uint64_t offset, char* out, std::size_t n)> data;
  std::int64_t position = 0;
};

namespace {
using Shown = TMMWaveDecoder::Shown;

sf_count_t vioLength(void* user) {
  auto* s = static_cast<Shown*>(user);
  return sf_count_t(s->header->size() + s->dataBytes);
}
sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
  auto* s = static_cast<Shown*>(user);
  const sf_count_t base = whence == SEEK_CUR ? s->position : whence == SEEK_END ? vioLength(user) : 0;
  s->position = std::max<sf_count_t>(0, base + offset);
  return s->position;
}
sf_count_t vioRead(void* ptr, sf_count_t count, void* user) {
  auto* s = static_cast<Shown*>(user);
  char* out = static_cast<char*>(ptr);
  sf_count_t done = 0;
  const auto headerSize = sf_count_t(s->header->size());
  if (s->position < headerSize && count > 0) {
    const sf_count_t n = std::min(count, headerSize - s->position);
    std::memcpy(out, s->header->data() + s->position, std::size_t(n));
    done += n;
    s->position += n;
  }
  if (done < count && s->position >= headerSize) {
    const std::uint64_t offset = std::uint64_t(s->position - headerSize);
    if (offset < s->dataBytes) {
      const std::size_t want = std::size_t(std::min<std::uint64_t>(std::uint64_t(count - done), s->dataBytes - offset));
      const std::size_t got = s->data(offset, out + done, want);
      done += sf_count_t(got);
      s->position += sf_count_t(got);
    }
  }
  return done;
}
sf_count_t vioWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t vioTell(void* user) { return static_cast<Shown*>(user)->position; }

SF_VIRTUAL_IO kVirtualIO = {vioLength, vioSeek, vioRead, vioWrite, vioTell};

// Frames libsndfile reports for a shown file of `format` holding `blocks`
// blocks of zeros; 0 when it refuses the format.
std::int64_t probeFrames(const WAVEFORMATEX* format, std::uint32_t blocks) {
  const std::uint32_t bytes = blocks * format->nBlockAlign;
  const std::vector<char> header = buildHeader(format, bytes);
  Shown shown;
  shown.header = &header;
  shown.dataBytes = bytes;
  shown.data = [](std::uint64_t, char* out, std::size_t n) {
    std::memset(out, 0, n);
    return n;
  };
  SF_INFO info{};
  SNDFILE* f = sf_open_virtual(&kVirtualIO, SFM_READ, &info, &shown);
  if (!f) return 0;
  sf_close(f);
  const int type = info.format & SF_FORMAT_TYPEMASK;
  if (type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX) return 0;
  if (info.channels != format->nChannels || info.samplerate != int(format->nSamplesPerSec)) return 0;
  return info.frames;
}

// Frames one block of `format` decodes to, or 0 when libsndfile refuses the
// format. Block codecs (ADPCM, GSM) name their samples per block in the first
// extra word; codecs without one code each frame on its own. libsndfile's
// frame count of a small file is no guide: it counts GSM blocks in pairs.
std::size_t probeFramesPerBlock(const WAVEFORMATEX* format) {
  constexpr WORD kExtensible = 0xFFFE;
  if (!format || format->wFormatTag == WAVE_FORMAT_PCM || format->nBlockAlign == 0 || format->nChannels == 0)
    return 0;
  if (probeFrames(format, 1) <= 0) return 0;
  if (format->wFormatTag == kExtensible) return 1;
  if (format->cbSize >= 2) {
    WORD perBlock = 0;
    std::memcpy(&perBlock, reinterpret_cast<const char*>(format) + sizeof(WAVEFORMATEX), 2);
    if (perBlock > 0) return perBlock;
  }
  const std::size_t frameBytes = std::size_t(format->nChannels) * ((format->wBitsPerSample + 7u) / 8u);
  return frameBytes == format->nBlockAlign ? 1 : 0;
}

}  // namespace

// ---------------------------------------------------------------- TMMWaveDecoder

TMMWaveDecoder::~TMMWaveDecoder() { End(); }

TMMWaveDecoder::TMMWaveDecoder() : shown_(std::make_unique<Shown>()) {
  shown_->header = &header_;
  shown_->data = [this](std::uint64_t offset, char* out, std::size_t n) -> std::size_t {
    if (offset < dataBase_) return 0;
    const std::uint64_t at = offset - dataBase_;
    if (at >= data_.size()) return 0;
    const std::size_t got = std::size_t(std::min<std::uint64_t>(n, data_.size() - at));
    std::memcpy(out, data_.data() + at, got);
    return got;
  };
}

bool TMMWaveDecoder::CanDecode(const WAVEFORMATEX* Format) { return probeFramesPerBlock(Format) > 0; }

WAVEFORMATEX TMMWaveDecoder::DecodedFormat(const WAVEFORMATEX* Format) {
  return pcmBuildWaveHeader(16, Format->nChannels, int(Format->nSamplesPerSec));
}

bool TMMWaveDecoder::Begin(const WAVEFORMATEX* Format, std::size_t ExpectedBytes) {
  End();
  framesPerBlock_ = probeFramesPerBlock(Format);
  if (framesPerBlock_ == 0) return false;
  const char* raw = reinterpret_cast<const char*>(Format);
  format_.assign(raw, raw + formatBytes(Format));
  blockAlign_ = Format->nBlockAlign;
  channels_ = Format->nChannels;
  declaredData_ = largeData(blockAlign_, framesPerBlock_, channels_);
  header_ = buildHeader(Format, std::uint32_t(declaredData_));
  shown_->dataBytes = declaredData_;
  // Room for the bytes of two pulls and a block, so that feeding a run
  // does not allocate.
  data_.reserve(2 * ExpectedBytes + blockAlign_);
  floats_.assign(kFloatFrames * channels_, 0.0f);
  Reset();
  return true;
}

void TMMWaveDecoder::Reset() {
  CloseStream();
  data_.clear();
  dataBase_ = 0;
  fed_ = 0;
  framesDecoded_ = 0;
  inputEnded_ = false;
}

void TMMWaveDecoder::End() {
  Reset();
  format_.clear();
  header_.clear();
  floats_.clear();
  floats_.shrink_to_fit();
  framesPerBlock_ = 0;
}

void TMMWaveDecoder::Feed(const void* Data, std::size_t Bytes) {
  if (!Active() || Bytes == 0) return;
  // Drop what libsndfile has read already before adding more.
  const auto headerSize = std::int64_t(header_.size());
  if (file_ && shown_->position > headerSize) {
    const std::uint64_t consumed = std::uint64_t(shown_->position - headerSize);
    if (consumed > dataBase_) {
      const std::size_t drop = std::size_t(std::min<std::uint64_t>(consumed - dataBase_, data_.size()));
      data_.erase(data_.begin(), data_.begin() + std::ptrdiff_t(drop));
      dataBase_ += drop;
    }
  }
  const char* p = static_cast<const char*>(Data);
  data_.insert(data_.end(), p, p + Bytes);
  fed_ += Bytes;
}

std::size_t TMMWaveDecoder::FramesReady() const {
  if (!Active()) return 0;
  // Some codecs read the next block as soon as they finish one, so the
  // newest block is held back until another one or the end of the input
  // follows it.
  std::uint64_t blocks = fed_ / blockAlign_;
  if (!inputEnded_ && blocks > 0) --blocks;
  const std::uint64_t frames = blocks * framesPerBlock_;
  return frames > framesDecoded_ ? std::size_t(frames - framesDecoded_) : 0;
}

bool TMMWaveDecoder::OpenStream() {
  if (file_) return true;
  // libsndfile decodes the first block while it opens (FramesReady makes
  // sure it is there).
  shown_->position = 0;
  SF_INFO info{};
  file_ = sf_open_virtual(&kVirtualIO, SFM_READ, &info, shown_.get());
  isFloat_ = file_ && floatSubtype(info.format);
  return file_ != nullptr;
}

void TMMWaveDecoder::CloseStream() {
  if (file_) sf_close(file_);
  file_ = nullptr;
  shown_->position = 0;
}

std::size_t TMMWaveDecoder::Read(std::int16_t* Out, std::size_t Frames) {
  Frames = std::min(Frames, FramesReady());
  if (Frames == 0 || !OpenStream()) return 0;
  const sf_count_t got = isFloat_ ? ReadFloat(Out, Frames) : sf_readf_short(file_, Out, sf_count_t(Frames));
  if (got <= 0) {
    // libsndfile gave up on this stream: nothing more can come of it.
    framesDecoded_ = (fed_ / blockAlign_) * framesPerBlock_;
    return 0;
  }
  framesDecoded_ += std::uint64_t(got);
  return std::size_t(got);
}

sf_count_t TMMWaveDecoder::ReadFloat(std::int16_t* Out, std::size_t Frames) {
  // libsndfile's 16-bit read of float data does not scale it (every sample
  // of -1..1 would become 0 or +-1); read floats and convert them as the
  // sound card converts its own, so that float data plays at its level.
  sf_count_t done = 0;
  while (std::size_t(done) < Frames) {
    const std::size_t n = std::min(kFloatFrames, Frames - std::size_t(done));
    const sf_count_t got = sf_readf_float(file_, floats_.data(), sf_count_t(n));
    if (got <= 0) break;
    soundcard::EncodePcm(floats_.data(), std::size_t(got), unsigned(channels_), 16,
                         reinterpret_cast<std::uint8_t*>(Out + std::size_t(done) * channels_));
    done += got;
    if (std::size_t(got) < n) break;
  }
  return done > 0 ? done : -1;
}

// ---------------------------------------------------------------- TMMCustomConverter

TMMCustomConverter::TMMCustomConverter(QObject* AOwner) : TMMDSPComponent(AOwner) {
  PublishInput();
  PublishOutput();
}

TMMCustomConverter::~TMMCustomConverter() {
  Destroying();
  FDecoder.End();
  wioFreeWaveFormat(FInputFormat);
}

void TMMCustomConverter::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  SetWaveFormat(FInputFormat);
}

bool TMMCustomConverter::CanConvert(const WAVEFORMATEX* Format) const {
  if (!Format || Format->wFormatTag == WAVE_FORMAT_PCM) return true;
  return DecodesTag(Format->wFormatTag) && TMMWaveDecoder::CanDecode(Format);
}

void TMMCustomConverter::SetWaveFormat(const WAVEFORMATEX* Format) {
  if (Format != FInputFormat) {
    PWaveFormatEx copy = wioCopyWaveFormat(Format);
    wioFreeWaveFormat(FInputFormat);
    FInputFormat = copy;
  }
  const bool convert = FEnabled && FInputFormat && FInputFormat->wFormatTag != WAVE_FORMAT_PCM &&
                       DecodesTag(FInputFormat->wFormatTag) && TMMWaveDecoder::CanDecode(FInputFormat);
  if (FConverting || convert) FDecoder.End();
  FConverting = convert;
  if (convert) {
    const WAVEFORMATEX pcm = TMMWaveDecoder::DecodedFormat(FInputFormat);
    TMMDSPComponent::SetWaveFormat(&pcm);
  } else {
    TMMDSPComponent::SetWaveFormat(FInputFormat);
  }
}

void TMMCustomConverter::Opened() {
  const bool wasOpened = FOpened;
  TMMDSPComponent::Opened();
  if (wasOpened || !FConverting) return;
  // One upstream buffer: the size the engine asked for, in whole blocks of
  // the compressed format.
  const std::size_t align = std::max<std::size_t>(1, FInputFormat->nBlockAlign);
  std::size_t bytes = std::size_t(std::max(FRealBufferSize, 1));
  bytes = std::max(align, bytes - bytes % align);
  FScratch.assign(MMBufferBlockSize(bytes), 0);
  FPull = MMInitBufferHeader(FScratch.data(), DWORD(bytes));
  FDecoder.Begin(FInputFormat, bytes);
}

void TMMCustomConverter::Closed() {
  FDecoder.End();
  FPull = nullptr;
  FScratch.clear();
  FScratch.shrink_to_fit();
  TMMDSPComponent::Closed();
}

void TMMCustomConverter::Started() {
  TMMDSPComponent::Started();
  FDecoder.Reset();
}

void TMMCustomConverter::Stopped() {
  FDecoder.Reset();
  TMMDSPComponent::Stopped();
}

void TMMCustomConverter::PositionReset() {
  TMMDSPComponent::PositionReset();
  FDecoder.Reset();
}

void TMMCustomConverter::Pull(PMMBufferHeader Target) {
  FPull->dwBufferLength = DWORD(FScratch.size() - MMBufferHeaderSize);
  FPull->dwBytesRecorded = 0;
  FPull->LoopFlag = Target->LoopFlag;
  FPull->LoopCount = Target->LoopCount;
  FPull->LoopsLeft = Target->LoopsLeft;
  FPull->LoopMark = 0;
  bool more = false;
  if (FInput) FInput->BufferLoad(FPull, more);
  Target->LoopsLeft = FPull->LoopsLeft;
  if (FPull->LoopMark != 0) Target->LoopMark = FPull->LoopMark;
  const DWORD got = std::min(FPull->dwBytesRecorded, FPull->dwBufferLength);
  FDecoder.Feed(FPull->lpData, got);
  // A source that delivers nothing has nothing more, whatever it says.
  if (!more || got == 0) FDecoder.FinishInput();
}

void TMMCustomConverter::BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) {
  if (!FConverting || !FPull || !FDecoder.Active()) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    return;
  }
  if (OnBufferLoad) OnBufferLoad(this, lpWaveHdr, MoreBuffers);
  const std::size_t channels = FInputFormat->nChannels;
  const std::size_t frameBytes = 2 * channels;
  const std::size_t want = lpWaveHdr->dwBufferLength / frameBytes;
  auto* out = reinterpret_cast<std::int16_t*>(lpWaveHdr->lpData);
  std::size_t done = 0;
  while (done < want) {
    const std::size_t ready = FDecoder.FramesReady();
    if (ready == 0) {
      if (FDecoder.InputEnded()) break;
      Pull(lpWaveHdr);
      continue;
    }
    const std::size_t got = FDecoder.Read(out + done * channels, std::min(ready, want - done));
    if (got == 0) break;
    done += got;
  }
  lpWaveHdr->dwBytesRecorded = DWORD(done * frameBytes);
  MoreBuffers = !FDecoder.Exhausted();
  if (OnAfterLoad && lpWaveHdr->dwBytesRecorded > 0) OnAfterLoad(this, lpWaveHdr);
}
