// CLOAMERApp, the application object: builds the main dialog, reads the stored serial port,
// runs the dialog until it closes, and handles Settings, Serial Port.
#pragma once

namespace loamer {

class CLOAMERDlg;

class CLOAMERApp {
public:
    // Start-up and the whole run: returns once the main dialog has closed. Returns false, as
    // the program has nothing left to do then. Expects a QApplication.
    bool InitInstance();

    // Settings, Serial Port: on OK the chosen name is used from the next command on (an open
    // port is closed) and stored; Cancel changes nothing.
    void OnSerialPort();

    // The main dialog while it runs, else null: the window that owns the program's boxes, bar
    // and status text.
    CLOAMERDlg* mainWindow() const { return m_pMainWnd; }

private:
    CLOAMERDlg* m_pMainWnd = nullptr;
};

}  // namespace loamer
