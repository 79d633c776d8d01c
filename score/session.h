// A take's score while it records: the voice is handed over on the main
// thread as the recorder delivers it, its pitch found on a worker thread,
// and the score read at any time (the note lane, the end of the take).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "score/scorer.h"

namespace score {

class ScoreSession {
 public:
  // `rate`: the voice's frames per second.
  ScoreSession(Melody melody, std::vector<Span> lines, Difficulty difficulty, unsigned rate);
  ~ScoreSession();  // ends the worker
  ScoreSession(const ScoreSession&) = delete;
  ScoreSession& operator=(const ScoreSession&) = delete;

  const Melody& melody() const { return melody_; }
  // Where the voice meets the song; may be replaced while the take runs
  // (a tempo or key change, the accompaniment's end known more exactly).
  void SetTimeline(const Timeline& timeline);
  // The voice as recorded: PCM of 8 (unsigned) or 16 bits, 1 or 2
  // channels, interleaved. Copies and returns at once.
  void PushPcm(const std::uint8_t* bytes, std::size_t size, unsigned channels, unsigned bits);

  // The score of what the worker has analysed so far (notes still to come
  // earn nothing yet). Cheap enough for every frame of the lane.
  Result Snapshot() const;
  // The same without copying it: the worker replaces, never changes, a
  // result it has published. Refreshed every few hops of voice.
  std::shared_ptr<const Result> Latest() const;
  // Waits until everything pushed is analysed; the final result.
  Result Finish();

 private:
  struct Worker;
  Melody melody_;
  std::unique_ptr<Worker> worker_;
};

}  // namespace score
