// The volume panel, shared by the main window's group "音量控制" and the
// advanced volume window: a destination list ("放/录"), a line list
// ("设备"), a left and a right volume slider, a mute box and a link box.
//
// The panel keeps no model: the selected destination and line are the two
// lists' selection indices, the values live in the controls. It talks to the
// mixer only through TAudio's mixer part, whose failures it ignores (the
// panel then keeps what it shows).
//
// Sliders run 0..100 with 0 at the top meaning full volume. They report
// every change of their position (the user's or the program's), the check
// boxes every change of their state, the lists only a choice of the user:
// the windows bind those signals to their handlers, which call the panel.
#pragma once

#include <cstdint>
#include <functional>

#include "app/handlers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QObject;
class QSlider;
class QWidget;
class TAudio;
class TClickLabel;

// Mixer volume for a slider position: round((100 - p) * 655.35), halves to
// even, computed exactly (position 50 gives 32767.5, that is 32768).
std::uint16_t PositionToVolume(int position);
// Slider position for a mixer volume: round((65535 - v) * 100 / 65535).
int VolumeToPosition(std::uint16_t volume);

struct TVolumeControls {
  QCheckBox* cbLink = nullptr;
  QCheckBox* cbMute = nullptr;
  QComboBox* DestSel = nullptr;
  QComboBox* SourceSel = nullptr;
  QSlider* LeftScroll = nullptr;
  QSlider* RightScroll = nullptr;
  TClickLabel* Image2 = nullptr;  // the panel's icon
};

// Creates the panel's controls in a group box of 253 x 177: the icon, the
// link and mute boxes, the two lists with their labels and the two sliders
// with their top edge at `sliderTop` and the labels "左" and "右" below.
TVolumeControls BuildVolumeControls(QWidget* group, int sliderTop);

// The same, also handed to the window's members of the same names.
template <typename Window>
TVolumeControls BuildVolumeControls(Window* window, QWidget* group, int sliderTop) {
  const TVolumeControls c = BuildVolumeControls(group, sliderTop);
  window->cbLink = c.cbLink;
  window->cbMute = c.cbMute;
  window->DestSel = c.DestSel;
  window->SourceSel = c.SourceSel;
  window->LeftScroll = c.LeftScroll;
  window->RightScroll = c.RightScroll;
  window->Image2 = c.Image2;
  return c;
}

// What the panel's controls run: the sliders and the boxes on every change
// of their position or state (the user's or the program's), the lists on a
// choice of the user.
struct TVolumeHandlers {
  std::function<void()> LeftScrollChange, RightScrollChange, cbMuteClick, cbLinkClick, DestSelChange,
      SourceSelChange;
};

// Binds the controls to the handlers as long as `context` lives.
void BindVolumeControls(QObject* context, const TVolumeControls& controls, const TVolumeHandlers& handlers);

// Binds the controls to a window's handlers of the same names, each run
// through RunHandler (an error goes to the error box).
template <typename Window>
void BindVolumeControls(Window* window, const TVolumeControls& controls) {
  BindVolumeControls(window, controls,
                     {HandlerSlot(window, &Window::LeftScrollChange), HandlerSlot(window, &Window::RightScrollChange),
                      HandlerSlot(window, &Window::cbMuteClick), HandlerSlot(window, &Window::cbLinkClick),
                      HandlerSlot(window, &Window::DestSelChange), HandlerSlot(window, &Window::SourceSelChange)});
}

// A mixer component for a panel, with the wave settings the windows store
// (16-bit stereo at 44100, the recorder's 2000 samples, split channels,
// trigger level 200); its own recorder and player are never started.
TAudio* CreatePanelAudio(QObject* owner);

class TVolumePanel {
 public:
  TVolumePanel(TAudio* audio, const TVolumeControls& controls);

  // Writes the panel's state to the selected line. With the link box
  // checked, the leading slider's position is given to the other first.
  void NewVol(bool leftLed);
  // Reads the selected line into the panel: the mute box's state and
  // whether it is enabled, the right slider's visibility (hidden for a
  // one-channel line), then the two positions. Values the read did not
  // deliver leave their controls as they are.
  void FormActivate();
  // Refills the line list for the selected destination, selects line 0 and
  // reads it.
  void DestSelChange();
  // The initial selection at the window's creation: destination 1, line 1,
  // written at full volume with mute off.
  void FormCreate();

  const TVolumeControls& Controls() const { return c_; }

 private:
  std::int16_t Destination() const;
  std::int16_t Line() const;

  TAudio* audio_;
  TVolumeControls c_;
};
