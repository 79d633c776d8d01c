#pragma once

#include <QStaticText>
#include <QWidget>

#include <cstdint>

#include "app/notelanelayout.h"
#include "score/melody.h"
#include "score/scorer.h"

// The note lane at the top of the lyrics window: the melody's notes as bars
// at their heights passing right to left through a line at a quarter of the
// width (now), the sung pitch as a line, the parts of the notes sung on
// pitch filled in, the running score in the top left corner and, at the end
// of a take, its score large in the middle. What goes where is worked out in
// notelanelayout.
//
// Main thread only. It repaints when ShowAt moves the picture by a pixel or
// a setter changes what it shows; never on its own.
class TNoteLane : public QWidget {
  Q_OBJECT
 public:
  explicit TNoteLane(QWidget* parent = nullptr);

  // The notes, heard `key` semitones from their written pitch; a new melody
  // forgets the sung points and the final score.
  void SetMelody(const score::Melody& melody, int key);
  void SetKey(int key);
  const score::Melody& Melody() const { return melody_; }
  // The voice as scored so far: its points (the line, the hits) and its
  // running score. An empty Result clears them (a new take).
  void SetScoreView(score::Result live);
  // The score of a finished take, shown large until -1 clears it.
  void SetFinalScore(int score);
  int FinalScore() const { return finalScore_; }

  // Shows the song at `ms` (song milliseconds).
  void ShowAt(std::int64_t ms);
  // Where it draws now (the widget's own coordinates).
  const notelane::View& LaneView() const { return view_; }
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Follow();
  void PaintNotes(QPainter& painter);
  void PaintVoice(QPainter& painter);
  void PaintScores(QPainter& painter);

  score::Melody melody_;
  int key_ = 0;
  score::Result live_;
  bool hasLive_ = false;
  int finalScore_ = -1;
  notelane::View view_;
  long long shownPixel_ = 0;  // the scroll, in whole pixels, as last shown
  int repaints_ = 0;
  QStaticText liveText_;      // "得分 N" for the running score, laid out once per change
};
