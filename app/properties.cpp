#include "app/properties.h"

#include <QWidget>

#include "platform/devicesheet/devicedialog.h"
#include "platform/devicesheet/soundfontdialog.h"

bool TMMPropertiesDialog::Execute() {
  QWidget* owner = qobject_cast<QWidget*>(Owner());
  switch (Sheets) {
    case psAudio:
      return soundcard::ShowDeviceDialog(owner, Title);
    case psMidi:
      return sequencer::ShowSoundfontDialog(owner, Title);
    case psAll: {
      const bool audio = soundcard::ShowDeviceDialog(owner, Title);
      const bool midi = sequencer::ShowSoundfontDialog(owner, Title);
      return audio || midi;
    }
    case psVideo:
    case psCDAudio:
      break;
  }
  return false;
}
