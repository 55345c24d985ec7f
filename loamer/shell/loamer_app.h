// CLOAMERApp, the application object: builds the main dialog, reads the stored serial port,
// runs the dialog until it closes, and handles Settings, Serial Port. Also the process set-up
// that main() does around it, here so that tests can run it as well.
#pragma once

namespace loamer {

class CLOAMERDlg;

class CLOAMERApp {
public:
    // Start-up and the whole run: returns once the main dialog has closed. Returns false, as
    // the program has nothing left to do then. Expects a QApplication. A settings file that
    // cannot be read is reported in one box and the program goes on with the default port.
    // Then the dialog answers requests from other programs (CLOAMERDlg::ListenForRequests).
    // SIGTERM and SIGHUP close the dialog as Exit would (see CLOAMERDlg::EndSession).
    bool InitInstance();

    // Settings, Serial Port: on OK the chosen name is used from the next command on (an open
    // port is closed) and stored; a failed store is reported and the name still applies to
    // this run. Cancel changes nothing.
    void OnSerialPort();

    // The main dialog while it runs, else null: the window that owns the program's boxes, bar
    // and status text.
    CLOAMERDlg* mainWindow() const { return m_pMainWnd; }

private:
    CLOAMERDlg* m_pMainWnd = nullptr;
};

// Numbers in the C locale whatever the user's LC_ALL or LC_NUMERIC: the meter's records and
// replies are printed and scanned with a decimal point. Dates keep the user's order (LC_TIME).
// Call once the QApplication exists, as it takes on the user's locale.
void PinNumericLocale();

}  // namespace loamer
