// quillon: the operator's window. Its first argument is the launch parameter string of the host;
// --base DIR puts the working folder elsewhere than the program's own base folder; --screenshot
// FILE saves a picture of the window once it has started, and closes it (for the documentation).
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/CHKLM.h"
#include "app/CQuillonApp.h"
#include "dialog/CQuillonDlg.h"
#include "dialog/MessageBoxes.h"
#include "dialog/ProgramIcon.h"
#include "platform/DrivePaths.h"
#include "platform/ProgramFolders.h"
#include "platform/Signals.h"
#include "playback/LocalPictureSource.h"
#include "preview/PlaybackView.h"
#ifdef QUILLON_HAVE_DISC
#include "disc/BurnWriter.h"
#endif
#ifdef QUILLON_HAVE_SHARE
#include "share/ClientId.h"
#include "share/HttpPictureSource.h"
#include "share/HttpShareClient.h"
#include "share/TokenSource.h"
#endif

#ifdef QUILLON_HAVE_REPORT
#include "report/CairoExhibitPdf.h"
#endif
namespace {

const char kUsage[] =
    "usage: quillon [LAUNCH-STRING] [--base DIR] [--token-file FILE] [--screenshot FILE]\n"
    "  LAUNCH-STRING  the host's seventeen comma-terminated fields (\"1648A,16,1,N,,7004,eng,\")\n"
    "  --base DIR     the base folder (Reserved, GUIS, Other); default the program folder, or\n"
    "                 when installed $QUILLON_PREFIX/base\n"
    "  --token-file FILE  the token of a remote recorder's quillon-share (mode 0600);\n"
    "                 else QUILLON_SHARE_TOKEN, else the service's credential \"token\"\n"
    "  --screenshot FILE  saves a picture of the window once it has started, and closes it\n"
    "quillon --version prints the version, --help this text.\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that neither needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillon %s\n", QUILLON_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    // A file-size limit must end a write as a full target does, not kill the program.
    platform::IgnoreFileSizeLimit();
    platform::IgnoreBrokenPipes();
    QApplication qapp(argc, argv);  // takes Qt's own options out of argv
    // The desktop finds the entry, and with it the icon, by this name.
    QGuiApplication::setDesktopFileName("quillon");
    QApplication::setWindowIcon(ProgramIcon());  // also the message boxes' and the browser's
    std::string launch, base, screenshot, tokenFile;
    bool haveLaunch = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--base") == 0 && i + 1 < argc)
            base = argv[++i];
        else if (std::strcmp(argv[i], "--token-file") == 0 && i + 1 < argc)
            tokenFile = argv[++i];
        else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            screenshot = argv[++i];
        else if (!haveLaunch)
            launch = argv[i], haveLaunch = true;
    }
    CQuillonApp app;
    app.InitInstance(launch, [&base, &screenshot, &tokenFile](CQuillonApp& a) {
        const platform::ProgramFolders folders = platform::CurrentProgramFolders();
        a.m_strExePath = platform::DriveFolderOf(folders.data);
        // An installed program keeps its base folder in the machine prefix, never below /usr.
        if (base.empty() && folders.installed) {
            if (const platform::Outcome ready = platform::PrepareBaseFolder(folders); !ready) {
                std::fprintf(stderr, "quillon: %s\n", ready.error().Said().c_str());
                return;
            }
            base = platform::DriveFolderOf(folders.base);
        }
        QtMessageBoxes boxes;
        // A remote recorder's quillon-share may want a token; the host's record has no room
        // for one.
        std::string token;
#ifdef QUILLON_HAVE_SHARE
        const share::FoundToken found = share::FindToken(tokenFile);
        if (!found.problem.empty()) {
            std::fprintf(stderr, "quillon: %s\n", found.problem.c_str());
            return;
        }
        token = found.value;
        // TLS to the remote recorder, its certificate checked by the pin or the authority given
        // as the token is (QUILLON_SHARE_PIN, QUILLON_SHARE_CA); neither set: plain HTTP.
        const share::TlsTrust trust = share::TrustFromEnvironment();
#endif
        // Pictures of this machine's recorder, or of the remote one from its share server.
        PlaybackView player([=](int remote, const std::string& server,
                                int port) -> std::unique_ptr<playback::IPictureSource> {
            if (remote) {
#ifdef QUILLON_HAVE_SHARE
                auto source = std::make_unique<share::HttpPictureSource>(
                    server, port, token, std::chrono::seconds(3), trust);
                // Asked for on the port two below quillon-share's; named by the one the operator
                // gave.
                source->NameAs(server + ":" + std::to_string(port + 2));
                return source;
#else
                return nullptr;
#endif
            }
            return std::make_unique<playback::LocalPictureSource>(GetStoragePath());
        });
        CQuillonDlg::Companions companions;
        companions.search = &player;
#ifdef QUILLON_HAVE_SHARE
        share::HttpShareClient shareClient(
            token, trust, share::ClientIdOf(platform::CurrentProgramFolders().base));
        companions.shareClient = &shareClient;
#endif
#ifdef QUILLON_HAVE_DISC
        // The writer's events reach the window on its own thread.
        disc::BurnWriter writer([](std::function<void()> event) {
            QMetaObject::invokeMethod(qApp, std::move(event), Qt::QueuedConnection);
        });
        companions.discWriter = &writer;
#endif
#ifdef QUILLON_HAVE_REPORT
        report::CairoExhibitPdf exhibitPdf;
        companions.exhibitPdf = &exhibitPdf;
#endif
        CQuillonDlg dlg(a, boxes, companions);
        if (!base.empty())
            dlg.SetBaseFolder(base.size() >= 2 && base[1] == ':' ? base
                                                                 : platform::ToDrivePath(base));
        if (!dlg.OnInitDialog())
            return;
        if (!screenshot.empty())
            QTimer::singleShot(300, &dlg, [&dlg, &screenshot] {
                dlg.grab().save(QString::fromStdString(screenshot));
                dlg.done(QDialog::Accepted);
            });
        dlg.exec();
    });
    return 0;
}
