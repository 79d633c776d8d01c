// The main window's WAV workflow: new, open, record, stop and save, play,
// delete, save as MP3, and the time and size displays.
#include "app/main.h"

void TForm1::FormDestroy() {}
void TForm1::btnewClick() {}
void TForm1::btwopenClick() {}
void TForm1::btrecClick() {}
void TForm1::btwplayClick() {}
void TForm1::btwstopClick() {}
void TForm1::btdelClick() {}
void TForm1::btsaveClick() {}
void TForm1::Timer3Timer() {}
void TForm1::Timer4Timer() {}
void TForm1::Timer5Timer() {}
void TForm1::newwave() {}
void TForm1::showsize() {}
