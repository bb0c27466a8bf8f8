// quillon: the operator's window. Its first argument is the launch parameter string of the host.
#include <QApplication>
#include <csignal>

#include "app/CQuillonApp.h"
#include "dialog/CQuillonDlg.h"
#include "dialog/MessageBoxes.h"
#include "platform/DrivePaths.h"

int main(int argc, char** argv) {
    // A file-size limit must end a write as a full target does, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication qapp(argc, argv);  // takes Qt's own options out of argv
    const std::string launch = argc > 1 ? argv[1] : "";
    CQuillonApp app;
    app.InitInstance(launch, [](CQuillonApp& a) {
        a.m_strExePath = platform::GetModulePath();
        QtMessageBoxes boxes;
        CQuillonDlg dlg(a, boxes);
        if (dlg.OnInitDialog())
            dlg.exec();
    });
    return 0;
}
