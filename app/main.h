#pragma once

#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/dialogs.h"
#include "lyrics/heardlyrics.h"
#include "lyrics/lyrics.h"
#include "platform/sequencer/keytempo.h"
#include "score/melody.h"
#include "score/timeline.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QSlider;
class QTimer;
class QToolBar;
class QToolButton;
class TClickLabel;
class TMediaPlayer;
class TMMConnector;
class TMMLevel;
class TMMWavePlayer;
class TMMWaveRecorder;
class TStatusBar;
class TAudio;
class TVolumePanel;
namespace score {
class ScoreSession;
}

// The main window: tool bar, the groups "MIDI 伴奏", "WAV 录制" and
// "音量控制", two level meters and the status bar, under the main menu.
//
// Every command except settings, help, web, mail, about and exit exists three
// times, as a speed button in its group box, a tool button and a menu item,
// all bound to one handler and enabled together by the group's setter (the
// functions below the class). All handlers run on the main thread; an error
// they raise is shown in a message box and the program goes on.
//
// The members are public and keep the names the rest of the program uses to
// reach them through Form1.
class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Sets the browse-MIDI group: btbrowse, tbtbrowse and nbtbrowse.
  void btbrowsemap(bool enabled);

  // --- Handlers of the commands. A speed button, its tool button and its
  // menu item share one handler.
  void btbrowseClick();     // browse MIDI
  void btmidiplayClick();   // play MIDI
  void btpauseClick();      // pause MIDI
  void btstopClick();       // stop MIDI
  void btnewClick();        // new WAV
  void btwopenClick();      // open WAV
  void btrecClick();        // record
  void btwplayClick();      // play WAV
  void btwstopClick();      // stop and save
  void btdelClick();        // delete WAV
  void btsaveClick();       // save as MP3
  void showconfigClick();   // settings window
  void helpClick();         // help contents
  void websiteClick();      // web page
  void emailClick();        // mail to the author
  void Tunelark1Click();    // about box
  void showlyricsClick();   // shows the lyrics window again
  void keyupClick();        // the accompaniment a semitone higher
  void keydownClick();      // a semitone lower
  void fasterClick();       // faster by one tempo step
  void slowerClick();       // slower by one tempo step
  void originalClick();     // back to the written key and tempo
  void N5Click();           // exit: closes the main window, which ends the program

  // --- Window life cycle.
  void FormCreate();    // runs once, at the end of construction
  void FormActivate();  // runs each time the window becomes the active window
  void FormDestroy();   // runs first in the destructor

  // --- Timers (all created stopped).
  void Timer1Timer();  // 200 ms: MIDI progress and end check
  void Timer2Timer();  // 1000 ms: MIDI play time
  void Timer3Timer();  // 200 ms: end of WAV playback
  void Timer4Timer();  // 1000 ms: recording time
  void Timer5Timer();  // 1000 ms: WAV play time

  // The browse-MIDI and open-WAV commands after their dialogs, also used
  // for a file named on the command line.
  void OpenAccompaniment(const QString& path);
  void OpenWav(const QString& path, const QStringList& files);

  // --- Lyrics (main_lyrics): the open accompaniment's words go to the
  // lyrics window, shown when `showWhenFound` and it has words; the window
  // follows the heard position while the accompaniment plays.
  void ReadSongLyrics(bool showWhenFound);
  void FollowLyrics(bool playing);
  // Where in the song the singer is, as the accompaniment is heard: in the
  // song's own milliseconds (the lyrics' time) at the tempo in force.
  std::int64_t HeardPositionMs();
  // A take remembers the words of the song it was recorded with (a take
  // opened from a file has none); its MP3s carry them.
  void TakeRecordedWithSong();
  void ForgetTakeSong();
  void TagSavedMp3s(const QStringList& files);

  // --- The singer's key and tempo (main_keytempo), for the open
  // accompaniment only: restored from what was remembered for its content
  // when it opens, changed by the menu items in steps, remembered again and
  // shown in the status bar and the lyrics window.
  static constexpr int kTempoStep = 5;  // percent: 50 and 200 are whole steps from 100
  void RestoreKeyTempo(const QString& path);
  void SetKeyTempo(const sequencer::KeyTempo& kt);
  void StepKeyTempo(int semitones, int percent);
  void ShowKeyTempo();
  // The progress bar's range and ticks from the accompaniment's length,
  // which follows the tempo.
  void ShowLength();

  // --- A take's score (main_score): "得分 N" at the right end of status
  // panel 1 and large in the lyrics window, until -1 clears both (the next
  // take, another song).
  void ShowTakeScore(int score);
  // The melody of the open song, read when it opens (and when the singer
  // chooses its channel); the note lane shows it.
  void ReadSongMelody();
  // Around a take: before the recorder starts, the dry voice goes to a new
  // session when the song has a melody (and beside the take when the singer
  // keeps it); a start that failed drops it; while recording, where the
  // voice meets the song is followed and the lane shows the score so far; a
  // key or tempo change starts a new stretch; at the end the score is shown
  // and saved as TAKE.score.json.
  void PrepareTakeScore();
  void DropTakeScore();
  void FollowTakeScore();
  void TakeKeyTempoChanged(double songMs);
  void FinishTakeScore();

  // --- Recording workflow helpers.
  void newwave();   // body of the new-WAV command
  void showsize();  // shows the current WAV file's size
  // The session ends (a signal): a take in progress is finished as
  // stop-and-save finishes it, then the window closes.
  void EndSession();

  // --- Volume panel (group "音量控制").
  void NewVol(bool leftLed);  // writes the panel's state to the selected line
  void LeftScrollChange();
  void RightScrollChange();
  void cbMuteClick();
  void cbLinkClick();
  void DestSelChange();
  void SourceSelChange();
  void Label6Click();  // the note under the panel opens the FAQ page
  void Image2Click();  // shows the advanced volume window; bound to nothing

  // --- The recorder (into the current WAV file, its Output the connector)
  // and the player of takes.
  TMMWaveRecorder* wavrec = nullptr;
  TMMWavePlayer* wavplay = nullptr;

  // --- The accompaniment: an invisible media player (plays, pauses and
  // stops through the media control service; rewinds automatically).
  TMediaPlayer* midiplay = nullptr;

  // --- Image list: 14 images of 16 x 16, indexed by TImagebarIndex.
  QList<QPixmap> Imagebar;

  // --- Main menu.
  QMenuBar* MainMenu1 = nullptr;
  QMenu* F1 = nullptr;  // "文件(&F)"
  QAction* nbtnew = nullptr;
  QAction* Nbtwopen = nullptr;
  QAction* Nbtsave = nullptr;
  QAction* Nbtdel = nullptr;
  QAction* N3 = nullptr;
  QAction* nbtbrowse = nullptr;
  QAction* N4 = nullptr;
  QAction* showconfig = nullptr;
  QAction* N6 = nullptr;
  QAction* N5 = nullptr;
  QMenu* MIDI1 = nullptr;  // "MIDI控制(&M)"
  QAction* nbtmidiplay = nullptr;
  QAction* Nbtpause = nullptr;
  QAction* Nbtstop = nullptr;
  QAction* Nkeyup = nullptr;     // "升调"
  QAction* Nkeydown = nullptr;   // "降调"
  QAction* Nfaster = nullptr;    // "加快"
  QAction* Nslower = nullptr;    // "减慢"
  QAction* Noriginal = nullptr;  // "原调原速"
  QAction* Nlyrics = nullptr;  // "显示歌词"
  QMenu* N1 = nullptr;  // "录音控制(&R)"
  QAction* Nbtrec = nullptr;
  QAction* Nbtwplay = nullptr;
  QAction* Nbtwstop = nullptr;
  QMenu* N2 = nullptr;  // "帮助(&H)"
  QAction* help = nullptr;
  QAction* website = nullptr;
  QAction* email = nullptr;
  QAction* N10 = nullptr;
  QAction* Tunelark1 = nullptr;

  // --- Tool bar.
  QToolBar* ToolBar1 = nullptr;
  QToolButton* Tbtnew = nullptr;
  QToolButton* Tbtwopen = nullptr;
  QToolButton* Tbtsave = nullptr;
  QToolButton* Tbtdel = nullptr;
  QToolButton* tbtbrowse = nullptr;
  QToolButton* Tbtmidiplay = nullptr;
  QToolButton* Tbtpause = nullptr;
  QToolButton* Tbtstop = nullptr;
  QToolButton* Tbtrec = nullptr;
  QToolButton* Tbtwplay = nullptr;
  QToolButton* Tbtwstop = nullptr;
  QToolButton* ToolButton2 = nullptr;  // settings
  QToolButton* ToolButton5 = nullptr;  // help
  QToolButton* ToolButton6 = nullptr;  // web
  QToolButton* ToolButton7 = nullptr;  // mail
  QToolButton* ToolButton8 = nullptr;  // about

  QFrame* Panel1 = nullptr;

  // --- Group "MIDI 伴奏".
  QGroupBox* GroupBox1 = nullptr;
  QLineEdit* Efilename = nullptr;
  QToolButton* btbrowse = nullptr;
  QToolButton* btmidiplay = nullptr;
  QToolButton* btpause = nullptr;
  QToolButton* btstop = nullptr;
  QLabel* miditimemin = nullptr;
  QLabel* miditimesec = nullptr;
  QSlider* pbar = nullptr;  // progress; disabled so that the user cannot drag it

  // --- Group "WAV 录制".
  QGroupBox* GroupBox2 = nullptr;
  QToolButton* btnew = nullptr;
  QToolButton* btwopen = nullptr;
  QToolButton* btrec = nullptr;
  QToolButton* btwplay = nullptr;
  QToolButton* btwstop = nullptr;
  QToolButton* btdel = nullptr;
  QToolButton* btsave = nullptr;
  QLineEdit* ewavfile = nullptr;
  QLabel* wavtimemin = nullptr;
  QLabel* wavtimesec = nullptr;
  QLabel* wavptmin = nullptr;
  QLabel* wavptsec = nullptr;
  QLabel* wavsize = nullptr;

  // --- Group "音量控制" (the volume panel).
  QGroupBox* GroupBox3 = nullptr;
  QCheckBox* cbLink = nullptr;
  QCheckBox* cbMute = nullptr;
  QComboBox* DestSel = nullptr;
  QComboBox* SourceSel = nullptr;
  QSlider* LeftScroll = nullptr;
  QSlider* RightScroll = nullptr;
  TClickLabel* Image2 = nullptr;  // clicking it shows the advanced volume window
  TClickLabel* Label6 = nullptr;
  // The panel's mixer component and the panel logic it shares with Form4.
  TAudio* Audio1 = nullptr;
  std::unique_ptr<TVolumePanel> VolPanel;

  // --- Level meters in Panel1: left channel at 480,13, right at 504,13.
  TMMLevel* MMLevel1 = nullptr;
  TMMLevel* MMLevel2 = nullptr;
  // Feeds the meters from the audio chain; the recorder becomes its input.
  TMMConnector* connect = nullptr;

  // Panel 0 shows the hint of the control or menu item under the pointer,
  // and at its right end the key and tempo of an open accompaniment;
  // panel 1 holds the status text the commands write, and at its right end
  // the last take's score.
  TStatusBar* Status = nullptr;

  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;
  QTimer* Timer3 = nullptr;
  QTimer* Timer4 = nullptr;
  QTimer* Timer5 = nullptr;
  QTimer* ScoreTimer = nullptr;  // follows a scored take (FollowTakeScore)

  // --- A take's score: the song's melody, the session scoring the take
  // being recorded, and the stretches of the take at one key and tempo (the
  // song time each began at; its anchor once the card has placed it).
  struct TakeStretch {
    double songMs = 0;
    int tempo = 100;
    int key = 0;
    score::TimelineAnchor anchor;
    bool placed = false;
  };
  score::Melody FSongMelody;
  std::unique_ptr<score::ScoreSession> FTakeScore;
  std::vector<TakeStretch> FTakeStretches;

  // --- Dialogs.
  std::unique_ptr<TOpenDialog> openmidi;
  std::unique_ptr<TOpenDialog> Openwav;
  std::unique_ptr<TSaveDialog> newwav;
  std::unique_ptr<TSaveDialog> SaveMP3;
  std::unique_ptr<TSaveDialog> Savewav;

 protected:
  bool event(QEvent* event) override;
  // Closing the main window ends the program: the application counts as
  // terminated from here on, so that waits in the multimedia layer end.
  void closeEvent(QCloseEvent* event) override;
  // Application-wide: hints go to status panel 0, tooltips are never shown.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateRecorderAndPlayer();
  // The recorder stopped; when it stopped by itself (its file could not be
  // written, the device was lost) the window follows once the stop is over.
  void RecorderStopped();
  void TakeEndedByItself();
  // After a take that failed before any audio reached its file.
  void ForgetFailedTake();
  void CreateMenu();
  void CreateToolBar(QWidget* client);
  void CreateMidiGroup();
  void CreateWavGroup();
  void CreateVolumeGroup();
  void CreateStatusBar(QWidget* client);
  void CreateTimers();
  void CreateDialogs();
  void BindCommands();
  void ShowHint(QObject* receiver, const QString& tip);
  // A main-menu shortcut that is enabled, for a key pressed in this window.
  bool IsMenuShortcut(const QKeyEvent* key) const;
  // A disabled menu item under the pointer shows its hint too.
  void ShowMenuItemHint(QMenu* menu, const QPoint& pos);

  // Whether a file of the take's name was there before the recording in
  // progress (or the last one) started: only a file the recording made
  // itself is removed when it fails.
  bool FTakeExisted = false;
  lyrics::Lyrics FTakeLyrics;
  QString FTakeSong;
  // The accompaniment's tempo when the take began, and each change during it.
  std::vector<lyrics::TempoFrom> FTakeTempi;
  // The open accompaniment's content hash: what its key and tempo are
  // remembered by (empty: not remembered).
  QString FSongHash;
};

extern TForm1* Form1;

// Program-wide state outside the windows.
extern QString wavname;  // full path of the current WAV file; empty: none
extern bool recording;   // a recording is in progress

// Setters of the command groups: each sets the enabled state of the group's
// speed button, tool button and menu item, in that order, through Form1.
void btmidiplaymap(bool enabled);
void btpausemap(bool enabled);
void btstopmap(bool enabled);
void btnewmap(bool enabled);
void btwopenmap(bool enabled);
void btrecmap(bool enabled);
void btwplaymap(bool enabled);
void btwstopmap(bool enabled);
void btdelmap(bool enabled);
void btsavemap(bool enabled);
// The five key and tempo menu items, enabled while an accompaniment is open.
void keytempomap(bool enabled);

// "调 +2 · 速度 90%": the key with its sign (none at 0), the tempo in percent.
QString KeyTempoText(const sequencer::KeyTempo& kt);
