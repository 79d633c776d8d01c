#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

// Indices of the main window's image list, shared by the tool bar and the
// main menu.
enum TImagebarIndex {
  imgDelete = 0,
  imgNewWav = 1,
  imgOpenWav = 2,
  imgSaveMp3 = 3,
  imgBrowseMidi = 4,
  imgRecord = 5,
  imgPlay = 6,
  imgPause = 7,
  imgStop = 8,
  imgSettings = 9,
  imgHelp = 10,
  imgWeb = 11,
  imgMail = 12,
  imgAbout = 13,
  imgCount = 14
};

// The 14 images of 16 x 16 pixels, drawn at start-up, in index order.
QList<QPixmap> MakeImagebar();

// 32 x 32 pictures: the MIDI group, the WAV group, the volume panel and the
// program's own icon.
QPixmap MidiGroupPicture();
QPixmap WavGroupPicture();
QPixmap VolumePicture();
QIcon ProgramIcon();
