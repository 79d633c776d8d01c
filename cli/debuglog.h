// stderr carries the command's own lines only. The libraries beneath the
// command line print on their own: Qt's warnings ("QIODevice::seek: ..."),
// the host audio libraries (kept quiet by the card), and libmpg123, through
// which libsndfile decodes MP3 without its quiet flag ("Note: Illegal
// Audio-MPEG-Header ...", "Warning: Xing stream size off by more than 1%"
// when a damaged file is opened). With TUNELARK_DEBUG set they are written
// to stderr, as lines marked as debugging ones where the program sees them.
#pragma once

namespace cli {

// Installs Qt's message handler; before the QCoreApplication is made.
void RouteLibraryMessages();

// For its lifetime whatever the process writes to stderr is dropped (kept
// with TUNELARK_DEBUG). Around a library call that prints on its own, on
// the main thread, while the command itself prints nothing.
class TLibraryOutputOff {
 public:
  TLibraryOutputOff();
  ~TLibraryOutputOff();
  TLibraryOutputOff(const TLibraryOutputOff&) = delete;
  TLibraryOutputOff& operator=(const TLibraryOutputOff&) = delete;

 private:
  int saved_ = -1;  // the real stderr meanwhile
};

}  // namespace cli
