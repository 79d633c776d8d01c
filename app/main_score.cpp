// The main window's part in a take's score: the melody of the open song,
// the live session fed with the take's dry voice, where the voice meets the
// song (followed while the take records), and at the end the score in the
// status bar and the lyrics window, saved beside the take.
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

#include "app/config.h"
#include "app/filenames.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "app/scoresettings.h"
#include "app/statusbar.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "recplay/MMWRec.h"
#include "score/aubiolib.h"
#include "score/scoreerror.h"
#include "score/session.h"
#include "score/takeanchor.h"

void TForm1::ShowTakeScore(int score) {
  Status->SetPanelNote(1, score >= 0 ? tr("得分 %1").arg(score) : QString());
  if (LyricsForm) LyricsForm->SetFinalScore(score);
}

// A song that is no MIDI file, or one without a melody, shows no lane.
void TForm1::ReadSongMelody() {
  FSongMelody = {};
  const QString song = midiplay->FileName;
  if (midiplay->DeviceID() != 0 && !song.isEmpty()) {
    try {
      FSongMelody = score::ReadMelody(ComponentFileName(song), MelodyChannel());
    } catch (const score::EScoreError&) {
    }
  }
  if (LyricsForm) LyricsForm->SetMelody(FSongMelody, sequencer::KeyTempoOf(midiplay->DeviceID()).key);
}

void TForm1::PrepareTakeScore() {
  DropTakeScore();
  ShowTakeScore(-1);
  wavrec->SetKeepVoice(KeepVoice());
  const bool scored = !FSongMelody.empty() && midiplay->DeviceID() != 0;
  // The pitch library the score needs, or its error, before anything of an
  // earlier take is moved away.
  if (scored) score::Aubio();
  // The voice and score of an earlier take of this name (or files that
  // happen to have those names) go to the desktop's trash, as a deleted
  // take does, rather than being written over.
  const std::string take = ComponentFileName(wavname);
  const std::pair<bool, std::string> companions[] = {{KeepVoice(), VoiceFileName(take)},
                                                     {scored, score::ScoreFileName(take)}};
  for (const auto& [written, name] : companions) {
    const QString companion = QFile::decodeName(name.c_str());
    if (written && QFileInfo(companion).isFile()) QFile::moveToTrash(companion);
  }
  if (!scored) return;
  const unsigned rate = unsigned(wavrec->SampleRate());
  const lyrics::Lyrics words = LyricsForm ? LyricsForm->Words() : lyrics::Lyrics{};
  FTakeScore = std::make_unique<score::ScoreSession>(FSongMelody, score::LinesOf(words, FSongMelody),
                                                     Difficulty(), rate);
  const unsigned channels = wavrec->Mode() == mMono ? 1 : 2;
  const unsigned bits = wavrec->BitLength() == b8Bit ? 8 : 16;
  score::ScoreSession* session = FTakeScore.get();
  wavrec->OnVoice = [session, channels, bits](const std::uint8_t* bytes, std::size_t size) {
    session->PushPcm(bytes, size, channels, bits);
  };
  const sequencer::KeyTempo kt = sequencer::KeyTempoOf(midiplay->DeviceID());
  const auto position = std::uint64_t(std::max(0, midiplay->Position()));
  FTakeStretches.push_back({double(sequencer::SongFromHeard(position, kt.tempo)), kt.tempo, kt.key, {}, false});
  if (LyricsForm) LyricsForm->SetScoreView({});
  ScoreTimer->start();
}

void TForm1::DropTakeScore() {
  ScoreTimer->stop();
  wavrec->OnVoice = nullptr;
  FTakeScore.reset();
  FTakeStretches.clear();
}

void TForm1::TakeKeyTempoChanged(double songMs) {
  if (LyricsForm) LyricsForm->SetKey(sequencer::KeyTempoOf(midiplay->DeviceID()).key);
  if (!FTakeScore || FTakeStretches.empty()) return;
  const sequencer::KeyTempo kt = sequencer::KeyTempoOf(midiplay->DeviceID());
  const TakeStretch& last = FTakeStretches.back();
  if (kt.key == last.key && kt.tempo == last.tempo) return;
  FTakeStretches.push_back({std::max(songMs, last.songMs), kt.tempo, kt.key, {}, false});
}

// The stretch being recorded is placed from where the accompaniment's end
// lands in the take now (it moves on if the accompaniment fell behind);
// earlier stretches keep their places.
void TForm1::FollowTakeScore() {
  if (!FTakeScore) return;
  const unsigned rate = unsigned(wavrec->SampleRate());
  std::int64_t end = 0;
  if (!FTakeStretches.empty() && midiplay->DeviceID() != 0 &&
      sequencer::AccompanimentEndInTake(midiplay->DeviceID(), wavrec->WaveIn()->Handle(), rate, end)) {
    TakeStretch& s = FTakeStretches.back();
    const auto length = std::uint64_t(std::max(0, midiplay->Length()));
    const double songEnd = double(sequencer::SongFromHeard(length, s.tempo));
    s.anchor = score::AnchorFromEnd(end, songEnd, s.songMs, s.tempo, s.key, rate);
    s.placed = true;
    score::Timeline timeline(rate);
    for (const TakeStretch& t : FTakeStretches)
      if (t.placed) timeline.Add(t.anchor);
    FTakeScore->SetTimeline(timeline);
  }
  if (LyricsForm && LyricsForm->isVisible()) LyricsForm->SetScoreView(FTakeScore->Snapshot());
}

// A take that was not kept gets no score file.
void TForm1::FinishTakeScore() {
  ScoreTimer->stop();
  wavrec->OnVoice = nullptr;
  if (!FTakeScore) return;
  const score::Result result = FTakeScore->Finish();
  FTakeScore.reset();
  FTakeStretches.clear();
  if (LyricsForm) LyricsForm->SetScoreView(result);
  if (wavname.isEmpty() || wavrec->WaveFile()->RecordedBytes() == 0) return;
  ShowTakeScore(result.score);
  const std::string json = score::ScoreFileName(ComponentFileName(wavname));
  try {
    score::SaveScore(json, result);
  } catch (const score::EScoreError&) {
    throw std::runtime_error(tr("无法保存评分：\n%1").arg(QFile::decodeName(json.c_str())).toStdString());
  }
}
