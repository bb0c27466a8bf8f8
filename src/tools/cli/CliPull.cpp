// quillon-cli pull NAME: one unattended run against a recorder of pull.d (see pull/PullJob.h),
// with this session's link, backup and check, and its one line on the journal.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "platform/JournalLevel.h"
#include "pull/LinkedSchedule.h"
#include "pull/PullJob.h"
#include "share/LinkSetup.h"

namespace {

// One line for the journal: its level in front when the output is the journal's.
void Say(bool journal, int level, const std::string& text) {
    const std::string prefix = journal ? "<" + std::to_string(level) + ">" : "";
    std::printf("%s%s\n", prefix.c_str(), text.c_str());
    std::fflush(stdout);
}

// What the run needs of the recorder and the pass, from this session: the schedule's steps are
// the core's.
class CliPullSteps final : public pull::LinkedSchedule {
  public:
    CliPullSteps(CliSession& s, std::string base, bool journal)
        : LinkedSchedule(s.session), s_(s), base_(std::move(base)), journal_(journal) {}

    void Note(int level, const std::string& text) override { Say(journal_, level, text); }
    platform::Outcome Check() override {
        if (const std::string problem = s_.OwnFilesProblem(); !problem.empty())
            return platform::Error{platform::Error::Kind::kDamaged, problem, ""};
        return platform::Succeeded();
    }
    platform::Outcome Open() override {
        if (!s_.OpenWorkingFolder(true, false))
            return platform::Error{platform::Error::Kind::kFailed,
                                   "its base folder " + base_ + " cannot be used", ""};
        return platform::Succeeded();
    }
    platform::Expected<std::vector<std::string>> Days() override {
        platform::Expected<share::RecorderDays> asked = s_.remote->Days();
        if (!asked)
            return asked.error();
        return std::move(asked->days);
    }
    // As add does it, with its lines: the entry and the total, or why it was refused.
    bool Add(const pull::PullEntry& range, const std::vector<int>& cameras) override {
        CliArgs add;
        add.positional = {range.day, range.start, range.end};
        for (const int camera : cameras)
            add.cams += (add.cams.empty() ? "" : ",") + std::to_string(camera);
        if (add.cams.empty())
            add.cams = "all";
        return CmdAdd(s_, add) == 0;
    }
    pull::PassResult RunPass(const std::string& folder) override {
        CliArgs backup;
        backup.folder = folder;
        const std::size_t boxesBefore = s_.view.Messages().size();
        pull::PassResult r;
        r.complete = RunBackup(s_, backup, r.outcome) == 0;
        r.linkWhy = r.outcome.linkWhy;
        if (const auto boxes = s_.view.Messages(); boxes.size() > boxesBefore)
            r.told = boxes.back().text;
        return r;
    }
    bool Verify(const std::string& folder, bool partialWhole) override {
        CliArgs verify;
        verify.positional = {folder};
        return CmdVerify(verify, false, partialWhole) == 0;
    }

  private:
    CliSession& s_;
    std::string base_;
    bool journal_;
};

}  // namespace

int CmdPull(const CliArgs& a, CliOptions options) {
    if (a.positional.size() != 1)
        throw UsageError{"pull takes the name of a recorder in " + pull::PullConfigFolder()};
    // The journal keeps one line of a run at notice or above: what the commands of the run
    // print (the backup's and the check's lines) is detail.
    const platform::JournalDefaultLevel detail(7);
    const auto say = [&](const pull::PullOutcome& o) {
        Say(detail.active(), o.level, o.text);
        return o.status;
    };
    pull::PullJob job(a.positional[0], std::time(nullptr));
    if (const platform::Outcome configured = job.Configure(); !configured)
        return say(job.Failed(configured.error().Said()));
    const pull::PullConfig& conf = job.config();
    if (!share::ParseLinkAddress(conf.remote, options.remote))
        return say(job.Failed("remote takes ADDRESS:PORT or https://ADDRESS:PORT: " + conf.remote));
    options.remote.pin = conf.pin;
    options.remote.buildStallSeconds = conf.buildStallSeconds;
    options.remote.ca = conf.ca;
    if (const platform::Outcome tls = share::CheckLinkTls(options.remote); !tls)
        return say(job.Failed(tls.error().Said()));
    // The token of the recorder's file, else of the service (its credential or environment).
    options.remote.token.clear();
    options.remote.tokenFile = conf.tokenFile;
    if (const platform::Outcome token = share::TakeLinkToken(options.remote); !token)
        return say(job.Failed(token.error().Said()));
    options.cameras = conf.cameraCount;
    options.progress = false;
    options.base = job.base();
    CliSession s(options);
    CliPullSteps steps(s, job.base(), detail.active());
    return say(job.Run(steps, options.remote.address, options.remote.port));
}
