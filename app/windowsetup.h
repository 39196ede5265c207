#pragma once

class QApplication;
class QMainWindow;

// Before the application object is made: what only takes effect then. Qt's messages are
// held back until prepareStationApplication: a platform that cannot start (no display) ends
// the program with one line on stderr and exit code 2, as any failed start, not Qt's abort.
void prepareStationPlatform();

// Lets the held messages out; a CJK face for the fixed Chinese texts, chosen per platform;
// Qt's own texts (file dialogs, standard buttons) in the language of the system's locale.
void prepareStationApplication(QApplication &application);

// The station window is a fixed-size console; main applies this before showing it. Full
// screen it may grow past that size, as the screen it fills decides.
void prepareStationWindow(QMainWindow &window, bool fullScreen = false);
