// Paces the repaints of displays that are fed faster than a screen shows
// (a level meter gets a block every 1.1 ms while recording): a display whose
// picture changed asks for a frame, and every display waiting is handed its
// frame together at the next refresh of the screen, so each one repaints at
// most once per refresh, showing the latest state. After a quiet spell of a
// refresh or more the frame comes at the next turn of the event loop.
//
// Main thread only. A frame is a PaintFrame call; the display then asks Qt
// for the repaint (QWidget::update), which Qt gathers into one paint of the
// window.
#pragma once

#include <cstdint>

class TMMFrameClient {
 public:
  virtual ~TMMFrameClient() = default;
  // Puts the display's latest state on the screen.
  virtual void PaintFrame() = 0;
};

// Asks for a frame at the next refresh of a screen refreshing `refreshHz`
// times a second (60 when unknown). Asking again before it comes changes
// nothing.
void MMRequestFrame(TMMFrameClient* client, double refreshHz);
// Forgets a waiting request (a display that goes away).
void MMCancelFrame(TMMFrameClient* client);
// Hands the waiting displays their frames now, as the next refresh would.
void MMPaintFramesNow();
// Frames handed out since the program started (one per refresh with any
// display waiting).
std::uint64_t MMFramesPainted();
