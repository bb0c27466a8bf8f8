#pragma once
// The real main dialog on Qt's offscreen platform, over recordings made by the generator, with
// its message boxes answered by a script. Widgets are driven by their control numbers, as an
// operator's clicks would drive them.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

#include "TestEnv.h"
#include "backup/BackupContext.h"
#include "dialog/CQuillonDlg.h"
#include "mkrec/Recorder.h"
#include "platform/MessageBus.h"
#include "playback/LocalPictureSource.h"
#include "preview/CBackupPreviewDlg.h"
#include "preview/PlaybackView.h"
#include "records/HostInfo.h"

// Answers message boxes from a script (IDOK, or the next queued answer for a Yes/No box; with real
// set, Yes/No questions as the program shows them, open until answered or closed) and keeps what
// was shown, with whether the dialog knew a box was open.
class ScriptedBoxes : public IMessageBoxes {
  public:
    struct Shown {
        std::string text, caption;
        unsigned type;
        bool bracketed;  // m_bInMessageBox was 1 while the box was open
    };
    int Show(QWidget* owner, const std::string& text, const std::string& caption,
             unsigned type) override {
        shown.push_back({text, caption, type, inBox && *inBox == 1});
        if (!(type & MB_YESNO))
            return IDOK;
        if (real)
            return real->Show(owner, text, caption, type);
        const int answer = answers.empty() ? IDYES : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    void CloseQuestion() override {
        if (real)
            real->CloseQuestion();
    }
    std::vector<Shown> shown;
    std::deque<int> answers;
    const std::atomic<BOOL>* inBox = nullptr;
    IMessageBoxes* real = nullptr;
};

class DialogTest : public TempPrefixTest {
  protected:
    // Serves the window's loop until cond holds (bounded only against a hang).
    static bool Until(const std::function<bool()>& cond) {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < kHangGuardMs)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        return cond();
    }
    void SetUp() override {
        TempPrefixTest::SetUp();
        Record(8, {"20100522", "20100523"});
        base = driveC() + "/base";
        std::filesystem::create_directories(base);
        for (const char* item : {"GUIS", "Other", "Language.eng"})
            std::filesystem::copy(std::string(QUILLON_BIN_DIR) + "/" + item, base + "/" + item,
                                  std::filesystem::copy_options::recursive);
        UseBuiltLanguage(app);
        std::filesystem::create_directories(QUILLON_ARTEFACT_DIR);  // the pictures a test keeps
    }
    void TearDown() override {
        dlg.reset();  // before the companions it uses
        player.reset();
        TempPrefixTest::TearDown();
    }
    // Recordings of 10:00 to 10:09 on the days, the cameras all recording.
    void Record(int cameras, const std::vector<std::string>& days) {
        mkrec::MakeRecordings({.root = "C:\\QorData",
                               .days = days,
                               .firstMinute = 600,
                               .lastMinute = 609,
                               .cameras = cameras,
                               .width = 16,
                               .height = 16});
    }
    // The window with the companions given; with, when given, answers its message boxes.
    CQuillonDlg& Open(CQuillonDlg::Companions companions = {}, IMessageBoxes* with = nullptr) {
        dlg = std::make_unique<CQuillonDlg>(app, with ? *with : boxes, companions);
        boxes.inBox = &dlg->inMessageBox();
        dlg->SetBaseFolder("C:\\base");
        EXPECT_TRUE(dlg->OnInitDialog());
        return *dlg;
    }
    // The real playback component over the local recordings, as the window's search companion.
    CQuillonDlg& OpenPlaying() {
        player = std::make_unique<PlaybackView>(
            [](int remote, const std::string&, int) -> std::unique_ptr<playback::IPictureSource> {
                if (remote)
                    return nullptr;
                return std::make_unique<playback::LocalPictureSource>("C:\\QorData");
            });
        return Open({.search = player.get()});
    }
    void AddEntry(const QString& sm, const QString& em) {
        Range("10", sm, "10", em);
        Click(ctl::kSelectAll);
        Click(ctl::kAdd);
    }
    void ChoosePreview(int id, int row) {
        auto* c = dlg->preview()->findChild<QComboBox*>(QString("c%1").arg(id));
        c->setCurrentIndex(row);
        emit c->activated(row);
    }
    platform::BusReply Send(std::uint32_t message, std::uint64_t wParam = 0,
                            const std::string& data = "") {
        return dlg->OnBusMessage({.message = message, .wParam = wParam, .data = data});
    }
    void SendHostRecord(const HostInfo& h) { Send(platform::WM_COPYDATA, 0, EncodeHostInfo(h)); }
    // Serves the window until a box with text was shown.
    bool UntilBox(const std::string& text) {
        return Until([&] {
            return std::any_of(boxes.shown.begin(), boxes.shown.end(),
                               [&](const ScriptedBoxes::Shown& b) { return b.text == text; });
        });
    }
    BackupContext& ctx() { return dlg->session().Parts(); }
    template <class T = QWidget>
    T* W(int id) {
        auto* w = qobject_cast<T*>(dlg->Control(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    void Click(int id) { W<QAbstractButton>(id)->click(); }
    // Picks a combo box row by its text as the operator does.
    void Choose(int id, const QString& text) {
        QComboBox* c = W<QComboBox>(id);
        const int row = c->findText(text);
        ASSERT_GE(row, 0) << id << " has no row " << text.toStdString();
        c->setCurrentIndex(row);
        emit c->activated(row);
    }
    void Range(const QString& sh, const QString& sm, const QString& eh, const QString& em) {
        Choose(ctl::kStartHour, sh);
        Choose(ctl::kStartMinute, sm);
        Choose(ctl::kEndHour, eh);
        Choose(ctl::kEndMinute, em);
    }
    QStringList Rows(int id) {
        QStringList out;
        if (auto* c = qobject_cast<QComboBox*>(dlg->Control(id)))
            for (int i = 0; i < c->count(); ++i)
                out << c->itemText(i);
        if (auto* l = qobject_cast<QListWidget*>(dlg->Control(id)))
            for (int i = 0; i < l->count(); ++i)
                out << l->item(i)->text();
        return out;
    }
    std::string LastBox() { return boxes.shown.empty() ? "" : boxes.shown.back().text; }
    std::string Text(const char* key) { return app.GetLanguageText("BACKUP", key); }
    std::string DiscText(const char* key) { return app.GetLanguageText("CDWRITER", key); }

    CQuillonApp app;
    ScriptedBoxes boxes;
    std::unique_ptr<CQuillonDlg> dlg;
    std::unique_ptr<PlaybackView> player;
    std::string base;
};
