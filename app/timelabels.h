#pragma once

class QLabel;

// One more second on a minutes/seconds pair of labels, which are the only
// store of an elapsed time: the seconds roll over into the minutes at 60.
void CountSecond(QLabel* minutes, QLabel* seconds);
