// The end of a take that was scored: its score in the status bar, beside
// the status text the commands write, and large in the lyrics window.
#include "app/lyricswindow.h"
#include "app/main.h"
#include "app/statusbar.h"

void TForm1::ShowTakeScore(int score) {
  Status->SetPanelNote(1, score >= 0 ? tr("得分 %1").arg(score) : QString());
  if (LyricsForm) LyricsForm->SetFinalScore(score);
}
