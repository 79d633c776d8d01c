// What a display offers the connector that feeds it (level meters, and any
// further display kind the connector has slots for).
//
// The connector tells a display the PCM format once, then hands it blocks of
// DataBlockSize bytes one after another, and clears it when the chain stops
// or the connector is switched off. All four calls come from the thread in
// which the connector refreshes its displays (the main thread in this
// program).
#pragma once

#include <QObject>

#include "platform/mmsystem.h"

class TMMDisplayClient {
 public:
  virtual ~TMMDisplayClient() = default;

  // A PCM format (format tag, channels, rate, bytes per second, block
  // alignment, bits). A display raises its own error for a format it cannot
  // show.
  virtual void SetDisplayFormat(const WAVEFORMATEX* Format) = 0;
  // Bytes one ShowBlock reads.
  virtual int DataBlockSize() const = 0;
  // Shows one block of at least DataBlockSize bytes of the display format.
  virtual void ShowBlock(const void* Data) = 0;
  virtual void ClearDisplay() = 0;
  // The object whose destruction removes the display from its connector.
  virtual QObject* DisplayObject() = 0;
};
