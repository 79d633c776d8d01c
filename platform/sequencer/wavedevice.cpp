#include "platform/sequencer/wavedevice.h"

#include <algorithm>
#include <chrono>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/pcm.h"
#include "platform/soundcard/soundcard.h"
#include "platform/soundcard/waveout.h"
#include "platform/winmsg/winmsg.h"

namespace sequencer {

namespace {

// What the card accepts as a wave-out rate.
constexpr std::uint32_t kMinRate = 8000;
constexpr std::uint32_t kMaxRate = 100000;

// The message the card sends to this device's callback once the handle has
// let out everything it was given (waveOutNotifyDrained).
constexpr UINT kDrained = 0x8010;

}  // namespace

std::unique_ptr<WaveAudioDevice> WaveAudioDevice::Open(const std::string& path, MCIERROR& error) {
  std::unique_ptr<WaveAudioDevice> d(new WaveAudioDevice);
  SF_INFO info{};
  d->file_ = SoundFile::Open(path, info);
  if (!d->file_ || info.channels <= 0 || info.samplerate <= 0 || info.frames < 0) {
    error = MCIERR_INVALID_FILE;
    return nullptr;
  }
  if (std::uint32_t(info.samplerate) < kMinRate || std::uint32_t(info.samplerate) > kMaxRate) {
    error = MCIERR_WAVE_OUTPUTSUNSUITABLE;
    return nullptr;
  }
  d->fileChannels_ = info.channels;
  d->channels_ = WORD(std::min(info.channels, 2));
  d->rate_ = std::uint32_t(info.samplerate);
  d->totalFrames_ = std::uint64_t(info.frames);
  d->heardTotal_ = d->totalFrames_;
  d->bufferFrames_ = d->rate_ / 10;

  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = d->channels_;
  f.nSamplesPerSec = d->rate_;
  f.wBitsPerSample = 16;
  f.nBlockAlign = WORD(2 * d->channels_);
  f.nAvgBytesPerSec = d->rate_ * f.nBlockAlign;
  if (waveOutOpen(&d->out_, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(&CALLBACK_Done),
                  reinterpret_cast<DWORD_PTR>(d.get()), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
    d->out_ = nullptr;
    error = MCIERR_WAVE_OUTPUTSINUSE;
    return nullptr;
  }
  waveOutPause(d->out_);  // a new handle plays at once; the device starts stopped

  d->headers_.assign(kBuffers, WAVEHDR{});
  d->memory_.assign(kBuffers, std::vector<std::int16_t>(std::size_t(d->bufferFrames_) * d->channels_));
  d->decoded_.resize(std::size_t(d->bufferFrames_) * std::size_t(d->fileChannels_));
  d->stretched_.resize(std::size_t(d->bufferFrames_) * d->channels_);
  for (int i = 0; i < kBuffers; ++i) {
    WAVEHDR& h = d->headers_[std::size_t(i)];
    h.lpData = reinterpret_cast<char*>(d->memory_[std::size_t(i)].data());
    h.dwBufferLength = DWORD(d->memory_[std::size_t(i)].size() * 2);
    h.dwUser = DWORD_PTR(i);
    waveOutPrepareHeader(d->out_, &h, sizeof h);
  }
  {
    std::lock_guard f2(d->feedLock_);
    for (int i = 0; i < kBuffers; ++i) d->Fill(i);
  }
  d->feeder_ = std::thread([p = d.get()] { p->FeederLoop(); });
  error = 0;
  return d;
}

WaveAudioDevice::~WaveAudioDevice() {
  if (feeder_.joinable()) {
    {
      std::lock_guard g(lock_);
      quit_ = true;
      if (notifyWnd_) Notify(MCI_NOTIFY_ABORTED);
    }
    wake_.notify_all();
    feeder_.join();
  }
  if (out_) {
    {
      std::lock_guard g(lock_);
      resetting_ = true;
    }
    waveOutReset(out_);
    for (WAVEHDR& h : headers_) waveOutUnprepareHeader(out_, &h, sizeof h);
    waveOutClose(out_);
  }
}

void WaveAudioDevice::CALLBACK_Done(void*, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
  auto* self = reinterpret_cast<WaveAudioDevice*>(instance);
  if (msg == kDrained) {
    // The card's thread, after the period in which the last frame went
    // into the mix: the end lies within that period.
    std::lock_guard g(self->lock_);
    if (self->resetting_) return;
    const std::uint64_t now = soundcard::ClockFrames();
    const std::uint64_t end = self->endKnown_.load() ? std::min(self->endClock_.load(), now) : now;
    self->endClock_.store(end);
    self->endKnown_.store(true);
    self->drained_ = true;
    self->EndIfDrained();
    return;
  }
  if (msg != MM_WOM_DONE) return;
  bool playing;
  {
    std::lock_guard g(self->lock_);
    const int index = int(reinterpret_cast<WAVEHDR*>(p1)->dwUser);
    self->free_.push(&index, 1);
    --self->queued_;
    playing = self->playing_ && !self->resetting_;
  }
  self->wake_.notify_one();
  if (playing) self->NoteEnd();
}

// After a period that played on (a buffer came back and more is to come),
// the card's clock and the handle's position give the end: the frames
// still to play follow on from the clock.
void WaveAudioDevice::NoteEnd() {
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  if (waveOutGetPosition(out_, &t, sizeof t) != MMSYSERR_NOERROR) return;
  const std::uint64_t now = soundcard::ClockFrames();
  std::lock_guard g(lock_);
  const std::uint64_t played = heardBase_ + t.u.sample;
  if (!playing_ || t.u.sample == 0 || played >= heardTotal_) return;
  const std::uint64_t left = ((heardTotal_ - played) * soundcard::kSampleRate + rate_ / 2) / rate_;
  endClock_.store(now + left);
  endKnown_.store(true);
}

bool WaveAudioDevice::EndClockFrame(std::uint64_t& frame) const {
  if (!endKnown_.load()) return false;
  frame = endClock_.load();
  return true;
}

void WaveAudioDevice::EndIfDrained() {
  if (eof_ && drained_ && playing_) {
    playing_ = false;
    ended_ = true;
    Notify(MCI_NOTIFY_SUCCESSFUL);
  }
}

void WaveAudioDevice::Notify(WPARAM how) {
  if (notifyWnd_) PostMessageRealtime(notifyWnd_, MM_MCINOTIFY, how, LPARAM(notifyId_));
  notifyWnd_ = nullptr;
}

void WaveAudioDevice::FeederLoop() {
  for (;;) {
    int index;
    std::uint64_t generation;
    {
      std::unique_lock g(lock_);
      wake_.wait(g, [this] { return quit_ || (free_.available() > 0 && !eof_); });
      if (quit_) return;
      free_.pop(&index, 1);
      generation = generation_;
    }
    std::lock_guard f(feedLock_);
    {
      std::lock_guard g(lock_);
      if (generation != generation_) continue;  // a seek refilled everything
    }
    Fill(index);
  }
}

std::size_t WaveAudioDevice::Decode(std::size_t frames) {
  const sf_count_t got = sf_readf_float(file_->get(), decoded_.data(), sf_count_t(frames));
  if (got <= 0) return 0;
  // More than two channels: the first two, packed in place.
  if (fileChannels_ > 2)
    for (std::size_t i = 0; i < std::size_t(got); ++i) {
      decoded_[2 * i] = decoded_[i * std::size_t(fileChannels_)];
      decoded_[2 * i + 1] = decoded_[i * std::size_t(fileChannels_) + 1];
    }
  return std::size_t(got);
}

std::size_t WaveAudioDevice::Stretch() {
  const auto want = std::size_t(std::min<std::uint64_t>(bufferFrames_, runLeft_));
  std::size_t made = 0;
  while (made < want) {
    const std::size_t took = stretcher_->Take(stretched_.data() + made * channels_, want - made);
    made += took;
    if (made == want || stretcher_->Done() || (inputEnded_ && took == 0)) break;
    if (inputEnded_) continue;
    const std::size_t n = std::min<std::size_t>(stretcher_->Wanted(), bufferFrames_);
    const std::size_t got = Decode(n);
    inputEnded_ = got < n;
    stretcher_->Put(decoded_.data(), got, inputEnded_);
  }
  // The run ends where the tempo puts the file's end: a stretcher that
  // gives a few frames less is made up with silence.
  std::fill(stretched_.begin() + std::ptrdiff_t(made * channels_),
            stretched_.begin() + std::ptrdiff_t(want * channels_), 0.0f);
  runLeft_ -= want;
  return want;
}

// Decodes the next part of the file (through the stretcher away from the
// default key and tempo) into buffer `index` and gives it to the card; at
// the end the buffer stays free.
void WaveAudioDevice::Fill(int index) {
  WAVEHDR& h = headers_[std::size_t(index)];
  const bool stretching = !feedKeyTempo_.IsDefault();
  const std::size_t got = stretching ? Stretch() : Decode(bufferFrames_);
  if (got > 0)
    soundcard::EncodePcm(stretching ? stretched_.data() : decoded_.data(), got, channels_, 16,
                         reinterpret_cast<std::uint8_t*>(memory_[std::size_t(index)].data()));
  std::unique_lock g(lock_);
  if (got == 0) {
    free_.push(&index, 1);
    const bool arm = !eof_;
    eof_ = true;
    fed_.notify_all();
    g.unlock();
    // Everything is written: the card says when it has all been heard.
    if (arm) waveOutNotifyDrained(out_, kDrained);
    return;
  }
  h.dwBufferLength = DWORD(got) * 2 * channels_;
  h.dwFlags &= ~WHDR_DONE;
  ++queued_;
  // The card may return the buffer before waveOutWrite returns; its
  // callback takes lock_, so write without it.
  g.unlock();
  const MMRESULT r = waveOutWrite(out_, &h, sizeof h);
  g.lock();
  if (r != MMSYSERR_NOERROR) {
    --queued_;
    free_.push(&index, 1);
  }
  if (free_.available() == 0 || eof_) fed_.notify_all();
}

std::uint32_t WaveAudioDevice::LengthMs() const {
  std::lock_guard g(lock_);
  return std::uint32_t((heardTotal_ * 1000 + rate_ / 2) / rate_);
}

std::uint32_t WaveAudioDevice::PositionMs() const {
  const std::uint32_t length = LengthMs();
  std::uint64_t base;
  {
    std::lock_guard g(lock_);
    if (ended_) return length;
    base = heardBase_;
  }
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  waveOutGetPosition(out_, &t, sizeof t);
  const std::uint64_t frame = base + t.u.sample;
  const auto ms = std::uint32_t(std::min<std::uint64_t>(frame * 1000 / rate_, length));
  return length > 0 ? std::min(ms, length - 1) : 0;
}

DWORD WaveAudioDevice::Mode() const {
  std::lock_guard g(lock_);
  return playing_ ? MCI_MODE_PLAY : MCI_MODE_STOP;
}

bool WaveAudioDevice::Ready() const { return true; }

MCIERROR WaveAudioDevice::Play(HWND notify, MCIDEVICEID id) {
  std::lock_guard g(lock_);
  if (notifyWnd_) Notify(MCI_NOTIFY_SUPERSEDED);
  notifyWnd_ = notify;
  notifyId_ = id;
  if (ended_ || (eof_ && drained_)) {
    ended_ = true;
    Notify(MCI_NOTIFY_SUCCESSFUL);
    return 0;
  }
  playing_ = true;
  endKnown_.store(false);
  waveOutRestart(out_);
  return 0;
}

MCIERROR WaveAudioDevice::Stop() {
  std::lock_guard g(lock_);
  endKnown_.store(false);
  if (playing_) {
    waveOutPause(out_);
    playing_ = false;
  }
  if (notifyWnd_) Notify(MCI_NOTIFY_ABORTED);
  return 0;
}

MCIERROR WaveAudioDevice::Seek(std::uint32_t ms) {
  Stop();
  const int tempo = keyTempo_.tempo;
  const std::uint64_t heard = std::uint64_t(ms) * rate_ / 1000;
  const std::uint64_t frame =
      ms >= LengthMs() ? totalFrames_ : std::min<std::uint64_t>(SongFromHeard(heard, tempo), totalFrames_);
  std::lock_guard f(feedLock_);
  Refill(frame, kBuffers);
  return 0;
}

void WaveAudioDevice::SetKeyTempo(const KeyTempo& kt) {
  if (kt == keyTempo_) return;
  // Where the card is now, in the file, with the handle held still.
  bool playing;
  {
    std::lock_guard g(lock_);
    playing = playing_;
    if (playing) waveOutPause(out_);
    endKnown_.store(false);
  }
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  waveOutGetPosition(out_, &t, sizeof t);
  std::uint64_t frame;
  {
    std::lock_guard g(lock_);
    frame = ended_ ? totalFrames_
                   : std::min<std::uint64_t>(SongFromHeard(heardBase_ + t.u.sample, keyTempo_.tempo), totalFrames_);
  }
  MciDevice::SetKeyTempo(kt);
  {
    std::lock_guard f(feedLock_);
    // One buffer here, so that the change is heard at once; the feeder
    // makes the rest while it plays.
    Refill(frame, 1);
  }
  std::lock_guard g(lock_);
  if (playing && playing_) waveOutRestart(out_);
}

void WaveAudioDevice::Refill(std::uint64_t frame, int now) {
  {
    std::lock_guard g(lock_);
    resetting_ = true;
  }
  waveOutReset(out_);  // every buffer comes back, on this thread
  sf_seek(file_->get(), sf_count_t(frame), SEEK_SET);
  feedKeyTempo_ = keyTempo_;
  const int tempo = feedKeyTempo_.tempo;
  const std::uint64_t heardTotal = HeardFromSong(totalFrames_, tempo);
  const std::uint64_t heardBase = std::min(HeardFromSong(frame, tempo), heardTotal);
  if (!feedKeyTempo_.IsDefault()) {
    if (!stretcher_) stretcher_ = std::make_unique<Stretcher>(rate_, channels_);
    stretcher_->Start(feedKeyTempo_);
    inputEnded_ = false;
    runLeft_ = heardTotal - heardBase;
  }
  {
    std::lock_guard g(lock_);
    resetting_ = false;
    // The feeder may have taken a buffer the reset gave back; it is ours
    // now, and the new generation tells the feeder to leave it.
    free_.discard(free_.capacity());
    ++generation_;
    eof_ = false;
    drained_ = false;
    ended_ = frame >= totalFrames_;
    heardTotal_ = heardTotal;
    heardBase_ = heardBase;
  }
  for (int i = 0; i < now; ++i) Fill(i);
  {
    std::lock_guard g(lock_);
    for (int i = now; i < kBuffers; ++i) free_.push(&i, 1);
  }
  wake_.notify_one();
}

bool WaveAudioDevice::WaitFed(int timeoutMs) const {
  std::unique_lock g(lock_);
  return fed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return free_.available() == 0 || eof_; });
}

}  // namespace sequencer
