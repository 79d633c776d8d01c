// The main window's part in the lyrics: reading the accompaniment's words
// when it opens, the heard position the lyrics window follows, its menu item
// and the lyrics an MP3 of the take carries.
#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include "app/formstyle.h"
#include "app/lyricssettings.h"
#include "app/lyricssource.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "lyrics/heardlyrics.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"

void TForm1::ReadSongLyrics(bool showWhenFound) {
  if (!LyricsForm) return;
  const QString song = midiplay->FileName;
  const bool open = midiplay->DeviceID() != 0 && !song.isEmpty();
  LyricsForm->SetLyrics({});  // a reader's error leaves no other song's words behind
  if (open) LyricsForm->SetLyrics(LoadSongLyrics(song, LyricsEncoding()));
  // The take recorded with this song carries its words as read now: another
  // encoding chosen during or after the take mends them in its MP3 too.
  if (open && song == FTakeSong) FTakeLyrics = LyricsForm->Words();
  ReadSongMelody();
  if (showWhenFound && !LyricsForm->Words().empty()) LyricsForm->show();
}

void TForm1::showlyricsClick() {
  if (LyricsForm) ShowInFront(LyricsForm);
}

void TForm1::FollowLyrics(bool playing) {
  if (LyricsForm) LyricsForm->SetPlaying(playing);
}

// The player's position is where the card renders the song, in the time
// it is heard in at the tempo in force; the singer hears it as late as the
// output latency the sound server reports (none known: none counted). The
// lyrics are timed in the song's own milliseconds.
std::int64_t TForm1::HeardPositionMs() {
  const std::int64_t rendered = midiplay->Position();
  const soundcard::HostLatencyFrames latency = soundcard::HostLatency();
  const std::int64_t late = latency.known ? std::int64_t(std::lround(soundcard::MsOfFrames(latency.output))) : 0;
  const std::int64_t heard = std::max<std::int64_t>(0, rendered - late);
  return std::int64_t(sequencer::SongFromHeard(std::uint64_t(heard), sequencer::KeyTempoOf(midiplay->DeviceID()).tempo));
}

void TForm1::TakeRecordedWithSong() {
  FTakeLyrics = LyricsForm ? LyricsForm->Words() : lyrics::Lyrics{};
  FTakeSong = midiplay->FileName;
  FTakeTempi = {{0, sequencer::KeyTempoOf(midiplay->DeviceID()).tempo}};
}

void TForm1::ForgetTakeSong() {
  FTakeLyrics = {};
  FTakeSong.clear();
  FTakeTempi.clear();
}

// The words go into each MP3 made from a take recorded here with a song
// that has them, timed as the take holds the song (at each tempo in force
// during it); the title falls back to the song's file name.
void TForm1::TagSavedMp3s(const QStringList& files) {
  if (FTakeLyrics.empty()) return;
  const lyrics::Lyrics heard = lyrics::HeardAtTempi(FTakeLyrics, FTakeTempi);
  for (const QString& mp3 : files) TagMp3WithLyrics(mp3, heard, QFileInfo(FTakeSong).completeBaseName());
}
