// Decoding of compressed WAVE data to 16-bit PCM, and the chain component
// that both of the player's converters are made of.
//
// The data of a compressed WAVE file reaches the player's converters as a
// plain stream of bytes pulled from the wave file component. TMMWaveDecoder
// decodes that stream with libsndfile: it shows libsndfile a WAVE file made
// of a "fmt " chunk holding the stream's own format (with its extra bytes,
// which carry the codec's parameters) and a "data" chunk whose bytes are the
// stream. libsndfile reads codec blocks on demand, so the decoder only asks it
// for frames whose blocks (and the block after them, which some codecs read
// early) have already arrived; a partial block at the end of the data cannot
// be decoded and is dropped.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/MMDSPObj.h"
#include "platform/mmsystem.h"

class TMMWaveDecoder {
 public:
  TMMWaveDecoder();
  ~TMMWaveDecoder();
  TMMWaveDecoder(const TMMWaveDecoder&) = delete;
  TMMWaveDecoder& operator=(const TMMWaveDecoder&) = delete;

  // Whether data of this non-PCM format can be decoded (libsndfile accepts
  // a WAVE file of it with the same channels and rate).
  static bool CanDecode(const WAVEFORMATEX* Format);
  // 16-bit PCM with the format's channels and rate.
  static WAVEFORMATEX DecodedFormat(const WAVEFORMATEX* Format);

  // Prepares for streams of `Format`; false when it cannot be decoded.
  // `ExpectedBytes` is a hint for how much input may be buffered at a time.
  bool Begin(const WAVEFORMATEX* Format, std::size_t ExpectedBytes);
  // A new stream of the same format starts (the source moved).
  void Reset();
  // Frees libsndfile's state and the buffered bytes.
  void End();
  bool Active() const { return !format_.empty(); }

  // Appends the next bytes of the stream.
  void Feed(const void* Data, std::size_t Bytes);
  // No more bytes will come for this stream.
  void FinishInput() { inputEnded_ = true; }
  bool InputEnded() const { return inputEnded_; }
  // Frames that can be decoded from the bytes fed so far.
  std::size_t FramesReady() const;
  // Decodes up to `Frames` frames (at most FramesReady) into `Out`
  // (interleaved); returns the frames decoded. Float data (-1..1) is scaled
  // to the 16-bit range with the sound card's conversion.
  std::size_t Read(std::int16_t* Out, std::size_t Frames);
  // The input has ended and every whole block of it was decoded.
  bool Exhausted() const { return inputEnded_ && FramesReady() == 0; }
  std::size_t FramesPerBlock() const { return framesPerBlock_; }

 private:
  bool OpenStream();
  void CloseStream();
  // Reads float data and converts it to 16-bit samples.
  sf_count_t ReadFloat(std::int16_t* Out, std::size_t Frames);

  static constexpr std::size_t kFloatFrames = 1024;

  std::vector<char> format_;  // the stream's WAVEFORMATEX with its extra bytes
  std::vector<char> header_;  // the WAVE header shown to libsndfile
  std::uint64_t declaredData_ = 0;
  std::size_t blockAlign_ = 1;
  std::size_t channels_ = 1;
  std::size_t framesPerBlock_ = 0;

  // libsndfile's view of the stream: the header and then the data region,
  // served from data_.
 public:
  struct Shown;

 private:
  std::unique_ptr<Shown> shown_;
  SNDFILE* file_ = nullptr;
  std::vector<char> data_;          // stream bytes from dataBase_ on
  std::uint64_t dataBase_ = 0;      // stream offset of data_[0]
  std::uint64_t fed_ = 0;           // stream bytes fed
  std::uint64_t framesDecoded_ = 0;
  bool inputEnded_ = false;
  bool isFloat_ = false;            // the stream holds float samples
  std::vector<float> floats_;       // one piece of float samples
};

// A format converter of the player's chain. Data of a format the converter
// decodes is pulled from the Input as a compressed stream and handed on as
// 16-bit PCM; every other format, PCM above all, passes through unchanged.
// Buffers are pulled on the output engine's delivering thread (the main
// thread in this program).
class TMMCustomConverter : public TMMDSPComponent {
  Q_OBJECT
 public:
  explicit TMMCustomConverter(QObject* AOwner = nullptr);
  ~TMMCustomConverter() override;

  // Disabled, the converter passes everything through. A change re-sends
  // the format down the chain.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  // PCM is always accepted (it passes through); other formats when this
  // converter decodes them.
  bool CanConvert(const WAVEFORMATEX* Format) const;
  // Decoding the current format now.
  bool Converting() const { return FConverting; }
  // The format that arrives from the Input (the held format is the one
  // handed on).
  const WAVEFORMATEX* InputFormat() const { return FInputFormat; }

  void SetWaveFormat(const WAVEFORMATEX* Format) override;
  void Opened() override;
  void Closed() override;
  void Started() override;
  void Stopped() override;
  void PositionReset() override;
  void BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) override;

 protected:
  // The non-PCM format tags this converter decodes.
  virtual bool DecodesTag(WORD Tag) const = 0;

 private:
  // Pulls one buffer of the stream from the Input into the decoder, carrying
  // the loop words of the engine's buffer `Target` both ways.
  void Pull(PMMBufferHeader Target);

  bool FEnabled = true;
  bool FConverting = false;
  PWaveFormatEx FInputFormat = nullptr;
  TMMWaveDecoder FDecoder;
  std::vector<char> FScratch;  // one upstream buffer: header and data
  PMMBufferHeader FPull = nullptr;
};
