#pragma once

class QWidget;

namespace lidora {
class ApplicationShell;
}

namespace lidora::app {

// Brings a window the app makes once and keeps to the front: centred on the
// main screen the first time, where the user left it afterwards.
void presentKeptWindow(QWidget& window, bool firstTime, ApplicationShell& application);

}  // namespace lidora::app
