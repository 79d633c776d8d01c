#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class TMMAudioLine;
class TMMMixerCheckBox;
class TMMMixerControl;
class TMMMixerDevice;
class TMMMixerSlider;
class TMMProperties;
class TMMVolumeControl;
namespace soundcard {
struct MonitorEffects;
}

// The settings window "Tunelark 设置": six pages.
//   "WAV 录制"  the quality of new recordings (the main window recorder's
//               sample rate), the recording device sheet, and the two
//               switches the recording workflow reads when it needs them.
//   "MIDI播放"  the accompaniment's device sheet, and the text encoding of
//               its lyrics (remembered; a change reads the open song's
//               lyrics again).
//   "音量控制"  the microphone's monitor mute and volume and the master
//               volume, through mixer-bound controls.
//   "语言"      the interface's language (stored; used from the next start).
//   "评分"      keeping the voice alone beside each take, the difficulty of
//               the score and the melody's channel (remembered; used by the
//               next take, the channel by the next song read).
//   "效果"      the echo and the reverb the singer hears on the monitor
//               line, and whether the take records them (remembered and
//               handed to the card at once; also at start-up).
// Created hidden at start-up, shown without blocking the main window by its
// settings command. Closing it only hides it: its other settings last as
// long as the program and are not stored.
class TForm2 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);
  ~TForm2() override;

  // Quality: the recorder's sample rate for recordings started afterwards.
  // A rate the recorder refuses (it is recording) leaves the buttons showing
  // the rate still in effect; the refusal is reported.
  void qhClick();  // 44100
  void qmClick();  // 22050
  void qlClick();  // 11025
  void BitBtn1Click();  // recording device sheet
  void Button1Click();  // MIDI device sheet
  void LyricsEncodingChange();

  // Checks the quality button of `rate` (none for another rate).
  void ShowQuality(int rate);

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;  // "WAV 录制"
  QWidget* TabSheet2 = nullptr;  // "MIDI播放"
  QWidget* TabSheet3 = nullptr;  // "音量控制"
  QWidget* TabSheet4 = nullptr;  // "语言"
  QWidget* TabSheet5 = nullptr;  // "评分"
  QWidget* TabSheet6 = nullptr;  // "效果"

  QLabel* Label1 = nullptr;
  QRadioButton* qh = nullptr;
  QRadioButton* qm = nullptr;
  QRadioButton* ql = nullptr;
  QLabel* Label19 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  // "当MIDI结束时停止": the end of the accompaniment ends a recording.
  QCheckBox* recstop = nullptr;
  // "不必有MIDI即可录音": a new WAV may be recorded without an accompaniment.
  QCheckBox* nomidi = nullptr;

  QLabel* Label2 = nullptr;
  QPushButton* Button1 = nullptr;
  QLabel* LyricsLabel = nullptr;
  // "自动检测" or one of the encodings of LyricsEncodings(), in its order.
  QComboBox* LyricsCoding = nullptr;

  TMMMixerCheckBox* MMMixerCheckBox1 = nullptr;
  QLabel* Label3 = nullptr;
  TMMMixerSlider* MMMixerSlider1 = nullptr;
  QLabel* Label4 = nullptr;
  TMMMixerSlider* MMMixerSlider2 = nullptr;

  // The interface's language from the next start: the system's, Chinese or
  // English (kept in the user's settings).
  QLabel* Label5 = nullptr;
  QComboBox* Language = nullptr;
  QLabel* Label6 = nullptr;
  void LanguageChange();

  // "保留干声": TAKE.voice.wav beside each take. "难度": 容易, 普通, 困难.
  // "旋律声道": 自动, then the channels 1 to 16.
  QCheckBox* KeepVoiceBox = nullptr;
  QLabel* Label7 = nullptr;
  QComboBox* DifficultyBox = nullptr;
  QLabel* Label8 = nullptr;
  QComboBox* ChannelBox = nullptr;
  void KeepVoiceClick();
  void DifficultyChange();
  void ChannelChange();

  // "回声" on or off with its delay (ms), "反馈" and "回声音量" (%);
  // "混响": 关, 房间, 大厅, 板式 (in the order of soundcard::Reverb) with
  // "混响音量" (%); "录入效果": the take gets the effected voice. A control
  // that means nothing with the rest as they are is disabled.
  QCheckBox* EchoBox = nullptr;
  QSpinBox* EchoDelay = nullptr;
  QLabel* Label9 = nullptr;
  QSpinBox* EchoFeedback = nullptr;
  QLabel* Label10 = nullptr;
  QSpinBox* EchoLevel = nullptr;
  QLabel* Label11 = nullptr;
  QComboBox* ReverbBox = nullptr;
  QLabel* Label12 = nullptr;
  QSpinBox* ReverbLevel = nullptr;
  QCheckBox* RecordEffectsBox = nullptr;
  // Any of them changed: remembered and applied to the card.
  void EffectsChange();

  TMMMixerDevice* MMMixerDevice1 = nullptr;
  TMMAudioLine* MMAudiomic = nullptr;    // the microphone source line
  TMMMixerControl* MMMixerControl1 = nullptr;  // its mute
  TMMVolumeControl* MMVolumeControl1 = nullptr;  // its volume
  TMMAudioLine* MMAudiov = nullptr;      // the speakers destination
  TMMVolumeControl* MMVolumeControl2 = nullptr;  // the master volume
  TMMProperties* MMPro = nullptr;   // "选择录音设备"
  TMMProperties* MMPro2 = nullptr;  // "MIDI播放设备"

 protected:
  // The close box hides the window and refuses the close (accepted once the
  // program is ending).
  void closeEvent(QCloseEvent* event) override;

 signals:
  // The user chose another melody channel (the open song's melody is read
  // again by whoever listens).
  void MelodyChannelChanged();

 private:
  void CreateWavPage();
  void CreateMidiPage();
  void CreateMixerPage();
  void CreateLanguagePage();
  void CreateScorePage();
  void CreateEffectsPage();
  void EnableEffectControls();
  // Hands `effects` to the card; when it refuses them, the sheet shows the
  // reverb the card kept and the error goes on.
  void ApplyMonitorEffects(const soundcard::MonitorEffects& effects);
  void SetQuality(int rate);
};

extern TForm2* Form2;
