#include "app/volpanel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include "app/clicklabel.h"
#include "app/formstyle.h"
#include "app/icons.h"
#include "mixer/Audio.h"

std::uint16_t PositionToVolume(int position) {
  // (100 - p) * 655.35 = (100 - p) * 65535 / 100, rounded on the exact
  // quotient so that the halves (p = 10, 30, 50, 70, 90) go to the even
  // neighbour whatever a binary 655.35 would make of them.
  const long n = long(100 - position) * 65535;
  long q = n / 100;
  const long r = n % 100;
  if (r > 50 || (r == 50 && (q & 1))) ++q;
  if (q < 0) q = 0;
  if (q > 65535) q = 65535;
  return std::uint16_t(q);
}

int VolumeToPosition(std::uint16_t volume) {
  // 65535 is odd, so the exact quotient is never a half.
  const long n = long(65535 - volume) * 100;
  long q = n / 65535;
  if (2 * (n % 65535) > 65535) ++q;
  return int(q);
}

namespace {

QSlider* AddVolumeSlider(QWidget* parent, const QString& hint, int x, int y) {
  auto* slider = new QSlider(Qt::Vertical, parent);
  slider->setRange(0, 100);
  slider->setSingleStep(1);
  slider->setPageStep(2);
  slider->setTickPosition(QSlider::TicksBothSides);
  slider->setTickInterval(10);
  // Position 0 is at the top and means full volume; the arrow keys and the
  // wheel move the thumb the way they point.
  slider->setInvertedAppearance(true);
  slider->setInvertedControls(true);
  slider->setStatusTip(hint);
  slider->setGeometry(x, y, 28, 108);
  return slider;
}

// The card's lines and destinations by the names the singer reads; a name
// the card does not use is shown as it is.
QStringList Captions(const QStringList& names) {
  static const struct {
    const char* card;
    const char* shown;
  } kNames[] = {
      {"Speakers", QT_TRANSLATE_NOOP("TVolumePanel", "扬声器")},
      {"Recording", QT_TRANSLATE_NOOP("TVolumePanel", "录音")},
      {"Microphone", QT_TRANSLATE_NOOP("TVolumePanel", "麦克风")},
      {"SW Synth", QT_TRANSLATE_NOOP("TVolumePanel", "软件合成器")},
      {"Wave Out", QT_TRANSLATE_NOOP("TVolumePanel", "波形输出")},
  };
  QStringList captions;
  for (const QString& name : names) {
    QString caption = name;
    for (const auto& n : kNames)
      if (name == QLatin1String(n.card)) caption = QCoreApplication::translate("TVolumePanel", n.shown);
    captions << caption;
  }
  return captions;
}

// Selects item i of a list, or nothing when there is no item i.
void Select(QComboBox* list, int i) { list->setCurrentIndex(i >= 0 && i < list->count() ? i : -1); }

}  // namespace

TVolumeControls BuildVolumeControls(QWidget* group, int sliderTop) {
  TVolumeControls c;
  c.Image2 = new TClickLabel(group);
  c.Image2->setPixmap(VolumePicture());
  c.Image2->setGeometry(16, 24, 32, 32);
  c.cbLink = new QCheckBox(QCoreApplication::translate("TVolumePanel", "左右声道相同"), group);
  c.cbLink->setChecked(true);
  c.cbLink->move(64, 24);
  c.cbLink->adjustSize();
  c.cbMute = new QCheckBox(QCoreApplication::translate("TVolumePanel", "静音"), group);
  c.cbMute->setStatusTip(QCoreApplication::translate("TVolumePanel", "静音该设备"));
  c.cbMute->move(64, 48);
  c.cbMute->adjustSize();

  AddLabel(group, QCoreApplication::translate("TVolumePanel", "放/录:"), 8, 75);
  c.DestSel = new QComboBox(group);
  c.DestSel->setGeometry(48, 72, 113, 21);
  AddLabel(group, QCoreApplication::translate("TVolumePanel", "设备:"), 8, 107);
  c.SourceSel = new QComboBox(group);
  c.SourceSel->setStatusTip(QCoreApplication::translate("TVolumePanel", "选择麦克风控制麦克风音量"));
  c.SourceSel->setGeometry(48, 104, 113, 21);

  c.LeftScroll = AddVolumeSlider(group, QCoreApplication::translate("TVolumePanel", "左声道音量"), 168, sliderTop);
  AddLabel(group, QCoreApplication::translate("TVolumePanel", "左"), 176, sliderTop + 109);
  c.RightScroll =
      AddVolumeSlider(group, QCoreApplication::translate("TVolumePanel", "右声道音量"), 200, sliderTop);
  AddLabel(group, QCoreApplication::translate("TVolumePanel", "右"), 208, sliderTop + 109);
  return c;
}

void BindVolumeControls(QObject* context, const TVolumeControls& c, const TVolumeHandlers& h) {
  QObject::connect(c.LeftScroll, &QSlider::valueChanged, context, h.LeftScrollChange);
  QObject::connect(c.RightScroll, &QSlider::valueChanged, context, h.RightScrollChange);
  QObject::connect(c.cbMute, &QCheckBox::toggled, context, h.cbMuteClick);
  QObject::connect(c.cbLink, &QCheckBox::toggled, context, h.cbLinkClick);
  QObject::connect(c.DestSel, &QComboBox::activated, context, h.DestSelChange);
  QObject::connect(c.SourceSel, &QComboBox::activated, context, h.SourceSelChange);
}

TAudio* CreatePanelAudio(QObject* owner) {
  auto* audio = new TAudio(owner);
  // Applied to the player as well (SeparateCtrls is off).
  audio->Recorder().SetBitsPerSample(_16);
  audio->Recorder().SetChannels(Stereo);
  audio->Recorder().SetSampleRate(44100);
  audio->Recorder().SetNoSamples(2000);
  audio->Recorder().SplitChannels = true;
  audio->Recorder().TrigLevel = 200;
  audio->Recorder().Triggered = false;
  return audio;
}

TVolumePanel::TVolumePanel(TAudio* audio, const TVolumeControls& controls) : audio_(audio), c_(controls) {}

std::int16_t TVolumePanel::Destination() const { return std::int16_t(c_.DestSel->currentIndex()); }
std::int16_t TVolumePanel::Line() const { return std::int16_t(c_.SourceSel->currentIndex()); }

void TVolumePanel::NewVol(bool leftLed) {
  std::uint16_t left = PositionToVolume(c_.LeftScroll->value());
  std::uint16_t right = PositionToVolume(c_.RightScroll->value());
  if (c_.cbLink->isChecked()) {
    // Each position change runs the other slider's handler, which writes the
    // line once more with equal positions.
    if (leftLed) {
      right = left;
      c_.RightScroll->setValue(c_.LeftScroll->value());
    } else {
      left = right;
    }
    c_.LeftScroll->setValue(c_.RightScroll->value());
  }
  audio_->Mixer().SetVolume(Destination(), Line(), left, right, c_.cbMute->isChecked());
}

void TVolumePanel::FormActivate() {
  // What the read does not deliver keeps what the panel shows; a line the
  // mixer does not know has no mute to offer.
  std::uint8_t flags = kMixNoMute;
  bool mute = c_.cbMute->isChecked();
  std::uint16_t left = PositionToVolume(c_.LeftScroll->value());
  std::uint16_t right = PositionToVolume(c_.RightScroll->value());
  audio_->Mixer().GetVolume(Destination(), Line(), flags, mute, right, left);
  c_.cbMute->setEnabled(!(flags & kMixNoMute));
  // A change runs the mute box's handler, which writes the sliders' present
  // positions with the new state.
  c_.cbMute->setChecked(mute);
  c_.RightScroll->setVisible(!(flags & kMixMonoVolume));
  c_.LeftScroll->setValue(VolumeToPosition(left));
  c_.RightScroll->setValue(VolumeToPosition(right));
}

void TVolumePanel::DestSelChange() {
  const QStringList lines = audio_->Mixer().GetLines(Destination());
  c_.SourceSel->clear();
  c_.SourceSel->addItems(Captions(lines));
  Select(c_.SourceSel, 0);
  FormActivate();
}

void TVolumePanel::FormCreate() {
  const QStringList destinations = audio_->Mixer().GetDestinations();
  c_.DestSel->clear();
  c_.DestSel->addItems(Captions(destinations));
  Select(c_.DestSel, 0);
  const QStringList lines = audio_->Mixer().GetLines(Destination());
  c_.SourceSel->clear();
  c_.SourceSel->addItems(Captions(lines));
  Select(c_.SourceSel, 0);
  Select(c_.DestSel, 1);
  DestSelChange();
  Select(c_.SourceSel, 1);
  FormActivate();
  c_.cbMute->setChecked(false);
  c_.LeftScroll->setValue(0);
  c_.RightScroll->setValue(0);
  NewVol(true);
}
