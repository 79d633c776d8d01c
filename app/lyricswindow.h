#pragma once

#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/lyricslayout.h"
#include "lyrics/lyrics.h"
#include "score/melody.h"
#include "score/scorer.h"

class QTimer;
class TNoteLane;

// The lyrics window "歌词": the line being sung and the next, large, on a
// dark background; the sung part of the current line swept over in a
// second colour, through each syllable by the time within it. F11 switches
// to full screen and back (Esc leaves it); the font follows the window's
// size; the key and tempo stand small in a corner. While a melody is set,
// the note lane (TNoteLane) takes the top of the window and the words the
// rest. Created hidden at start-up; closing it only hides it, and its place
// is remembered across runs.
//
// Main thread only. While the song plays a timer asks HeardPosition for the
// position every kFrameMs and repaints only when the picture changed, so it
// draws at most about 60 times a second and not at all otherwise.
class TLyricsWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TLyricsWindow(QWidget* parent = nullptr);
  ~TLyricsWindow() override;

  static constexpr int kFrameMs = 17;

  // Where the song is heard, in milliseconds of its own time.
  std::function<std::int64_t()> HeardPosition;

  // A new song's words (empty: none); shown at the heard position.
  void SetLyrics(lyrics::Lyrics words);
  const lyrics::Lyrics& Words() const { return words_; }

  // The song plays (the frame timer runs) or not; shows the position once
  // either way, so a pause, stop or seek is seen at once.
  void SetPlaying(bool playing);
  bool Following() const;
  // Reads the heard position once and shows it.
  void ShowPosition();
  // Shows the song at `ms`: repaints when the slots or the sweep moved.
  void ShowAt(std::int64_t ms);

  // A short note in the top right corner (the accompaniment's key and
  // tempo); empty: none.
  void SetKeyTempoNote(const QString& note);
  const QString& KeyTempoNote() const { return note_; }

  // The melody the singer is scored against, heard `key` semitones from
  // its written pitch (the accompaniment's key); an empty one removes the
  // note lane. A new melody clears the sung line and the final score.
  void SetMelody(const score::Melody& melody, int key);
  void SetKey(int key);
  // The take's score so far: the lane's sung line, its hits and the running
  // score (an empty Result clears them, for a new take).
  void SetScoreView(score::Result live);
  // A finished take's score, shown large ("得分 8765") until -1 clears it.
  void SetFinalScore(int score);
  // The lane (hidden without a melody or a final score).
  TNoteLane* NoteLane() const { return lane_; }

  std::int64_t ShownMs() const { return shownMs_; }
  lyricsview::Slots ShownSlots() const { return slots_; }
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // A line set in the font that fits the window, with its syllables' edges
  // and its pictures in each colour (made when first drawn).
  enum Colour { kUnsungColour, kSungColour, kComingColour };
  struct Shaped {
    int line = -1;
    QString text;
    QFont font;
    double ascent = 0, descent = 0;
    std::vector<double> edges;
    std::array<QPixmap, 3> pictures;
  };
  Shaped& Shape(int line);
  double TextLeft(const Shaped& line) const;
  QRect LineRect(const Shaped& line, double baseline) const;
  const QPixmap& Picture(Shaped& line, Colour colour, const QRect& rect, double baseline);
  void ForgetShown();
  QFont NoteFont() const;
  QRect NoteRect() const;
  // The band of the words: below the lane when it shows, else the window.
  double WordsTop() const;
  double WordsHeight() const;
  void PlaceLane();
  void RememberGeometry();

  lyrics::Lyrics words_;
  QString note_;
  QTimer* frames_ = nullptr;
  TNoteLane* lane_ = nullptr;
  std::int64_t shownMs_ = 0;
  lyricsview::Slots slots_;
  int sungPixels_ = 0;  // the sweep's end, in whole pixels, as last shown
  double sungWidth_ = 0;
  int repaints_ = 0;
  std::array<Shaped, 3> shaped_;
  std::size_t nextShaped_ = 0;
};

extern TLyricsWindow* LyricsForm;
