// The main window's settings, help, web, mail and about commands.
#include "app/main.h"

void TForm1::showconfigClick() {}
void TForm1::helpClick() {}
void TForm1::websiteClick() {}
void TForm1::emailClick() {}
void TForm1::Tunelark1Click() {}
void TForm1::Label6Click() {}
