#pragma once

class QApplication;
class QMainWindow;

// Before the application object is made: what only takes effect then.
void prepareStationPlatform();

// A CJK face for the fixed Chinese texts, chosen per platform.
void prepareStationApplication(QApplication &application);

// The station window is a fixed-size console; main applies this before showing it. Full
// screen it may grow past that size, as the screen it fills decides.
void prepareStationWindow(QMainWindow &window, bool fullScreen = false);
