#ifndef TAVIK_APPLICATION_H
#define TAVIK_APPLICATION_H

#include <functional>
#include <memory>

class MainWidget;

// The coordinator, then the main window with its title, shown. Needs the
// QApplication to exist. GUI thread. The caller owns the window; its camera
// panel ends the process when destroyed (see runApplication).
std::unique_ptr<MainWidget> showMainWindow();

// The program's start-up: application object, coordinator, main window, title,
// show, event loop. GUI thread (the process's main thread).
//
// afterShow, when set, runs once the window is shown, before the event loop
// starts; main passes none. Returns exec()'s result, though closing the window
// normally ends the process with status 0 from the camera panel's destructor.
int runApplication(int argc, char** argv, const std::function<void(MainWidget&)>& afterShow = {});

#endif // TAVIK_APPLICATION_H
