#include "platform/sequencer/wavedevice.h"

#include <algorithm>
#include <chrono>

#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"

namespace sequencer {

namespace {

// What the card accepts as a wave-out rate.
constexpr std::uint32_t kMinRate = 8000;
constexpr std::uint32_t kMaxRate = 100000;

}  // namespace

std::unique_ptr<WaveAudioDevice> WaveAudioDevice::Open(const std::string& path, MCIERROR& error) {
  std::unique_ptr<WaveAudioDevice> d(new WaveAudioDevice);
  SF_INFO info{};
  d->file_ = sf_open(path.c_str(), SFM_READ, &info);
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
  d->lengthMs_ = std::uint32_t((d->totalFrames_ * 1000 + d->rate_ / 2) / d->rate_);
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
  if (d->fileChannels_ > 2) d->wide_.resize(std::size_t(d->bufferFrames_) * std::size_t(d->fileChannels_));
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
  if (file_) sf_close(file_);
}

void WaveAudioDevice::CALLBACK_Done(void*, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
  if (msg != MM_WOM_DONE) return;
  auto* self = reinterpret_cast<WaveAudioDevice*>(instance);
  {
    std::lock_guard g(self->lock_);
    self->free_.push_back(int(reinterpret_cast<WAVEHDR*>(p1)->dwUser));
    --self->queued_;
    if (!self->resetting_) self->EndIfDrained();
  }
  self->wake_.notify_one();
}

void WaveAudioDevice::EndIfDrained() {
  if (eof_ && queued_ == 0 && playing_) {
    playing_ = false;
    ended_ = true;
    Notify(MCI_NOTIFY_SUCCESSFUL);
  }
}

void WaveAudioDevice::Notify(WPARAM how) {
  if (notifyWnd_) PostMessage(notifyWnd_, MM_MCINOTIFY, how, LPARAM(notifyId_));
  notifyWnd_ = nullptr;
}

void WaveAudioDevice::FeederLoop() {
  for (;;) {
    int index;
    std::uint64_t generation;
    {
      std::unique_lock g(lock_);
      wake_.wait(g, [this] { return quit_ || (!free_.empty() && !eof_); });
      if (quit_) return;
      index = free_.front();
      free_.pop_front();
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

// Decodes the next part of the file into buffer `index` and gives it to
// the card; at the end of the file the buffer stays free.
void WaveAudioDevice::Fill(int index) {
  WAVEHDR& h = headers_[std::size_t(index)];
  auto* dst = memory_[std::size_t(index)].data();
  sf_count_t got;
  if (fileChannels_ <= 2) {
    got = sf_readf_short(file_, dst, sf_count_t(bufferFrames_));
  } else {
    got = sf_readf_short(file_, wide_.data(), sf_count_t(bufferFrames_));
    for (sf_count_t i = 0; i < got; ++i) {
      dst[2 * i] = wide_[std::size_t(i * fileChannels_)];
      dst[2 * i + 1] = wide_[std::size_t(i * fileChannels_ + 1)];
    }
  }
  std::unique_lock g(lock_);
  if (got <= 0) {
    free_.push_back(index);
    eof_ = true;
    EndIfDrained();
    fed_.notify_all();
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
    free_.push_back(index);
  }
  if (free_.empty() || eof_) fed_.notify_all();
}

std::uint32_t WaveAudioDevice::PositionMs() const {
  std::uint64_t base;
  {
    std::lock_guard g(lock_);
    if (ended_) return lengthMs_;
    base = base_;
  }
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  waveOutGetPosition(out_, &t, sizeof t);
  const std::uint64_t frame = base + t.u.sample;
  const auto ms = std::uint32_t(std::min<std::uint64_t>(frame * 1000 / rate_, lengthMs_));
  return lengthMs_ > 0 ? std::min(ms, lengthMs_ - 1) : 0;
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
  if (ended_ || (eof_ && queued_ == 0)) {
    ended_ = true;
    Notify(MCI_NOTIFY_SUCCESSFUL);
    return 0;
  }
  playing_ = true;
  waveOutRestart(out_);
  return 0;
}

MCIERROR WaveAudioDevice::Stop() {
  std::lock_guard g(lock_);
  if (playing_) {
    waveOutPause(out_);
    playing_ = false;
  }
  if (notifyWnd_) Notify(MCI_NOTIFY_ABORTED);
  return 0;
}

MCIERROR WaveAudioDevice::Seek(std::uint32_t ms) {
  Stop();
  std::lock_guard f(feedLock_);
  {
    std::lock_guard g(lock_);
    resetting_ = true;
    ++generation_;
  }
  waveOutReset(out_);  // every buffer comes back, on this thread
  const std::uint64_t frame =
      ms >= lengthMs_ ? totalFrames_ : std::min<std::uint64_t>(std::uint64_t(ms) * rate_ / 1000, totalFrames_);
  sf_seek(file_, sf_count_t(frame), SEEK_SET);
  {
    std::lock_guard g(lock_);
    resetting_ = false;
    free_.clear();
    eof_ = false;
    ended_ = frame >= totalFrames_;
    base_ = frame;
  }
  for (int i = 0; i < kBuffers; ++i) Fill(i);
  return 0;
}

bool WaveAudioDevice::WaitFed(int timeoutMs) const {
  std::unique_lock g(lock_);
  return fed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return free_.empty() || eof_; });
}

}  // namespace sequencer
