#pragma once
// Every test that touches files runs in its own temporary machine prefix, with C: mapped below
// it, so that no test sees the user's files.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "backup/CommandResult.h"

class CQuillonApp;

// The longest a test waits for an event before it calls it a hang: never a bound on how long the
// event may take, which depends on how loaded the machine is.
constexpr int kHangGuardMs = 10 * 60 * 1000;

// Texts from the language file the build puts beside the programs.
void UseBuiltLanguage(CQuillonApp& app);

// Every minute data file below imageRoot has the length of the recorder's file of that name in
// recorderDay: a failed backup keeps nothing half-written.
void ExpectOnlyWholeMinuteFiles(const std::string& imageRoot, const std::string& recorderDay);

// Every file below root by its path from there ('/' between folders), with its bytes.
std::map<std::string, std::string> FilesBelow(const std::string& root);
// As FilesBelow for an image, without what tells one run of the same schedule from another: the
// exhibit report (made at its own time, naming its recorder), its manifest lines and the custody
// log (which names the manifest).
std::map<std::string, std::string> ImageBelow(const std::string& root);
// As FilesBelow, with each folder too (its value "folder"), so that an empty one counts.
std::map<std::string, std::string> EntriesBelow(const std::string& root);

// The exit status of `sha256sum -c SHA256SUMS` run in folder (its output goes to the test's log
// when it fails), as anyone would check an image with the tools every Linux machine has.
int Sha256sumCheck(const std::string& folder, const std::string& manifest = "SHA256SUMS");

// What this process holds open below the host folder root (each by its host path): a handle
// left on a stick's volume keeps the operator from ejecting it.
std::vector<std::string> OpenHandlesBelow(const std::string& root);

class TempPrefixTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Host path of the temporary prefix and of drive C:.
    const std::string& prefix() const { return prefix_; }
    std::string driveC() const { return prefix_ + "/drive_c"; }
    // Maps another drive letter onto a fresh host folder below the prefix; returns that folder.
    std::string MapDrive(char letter, const std::string& type = "fixed");
    // Writes text into a file of that name below the prefix with that mode (a token file, a
    // key); returns its host path.
    std::string Secret(const std::string& name, const std::string& text, unsigned mode) const;
    // Mounts a small tmpfs (options such as "size=300k") as the drive; "" when this machine
    // does not let the test mount one. It is unmounted when the test ends.
    std::string MountTinyDrive(char letter, const std::string& options, bool readOnly = false);

  public:
    // Writes text into a host file, creating its folders.
    static void WriteText(const std::string& hostPath, const std::string& text);
    static std::string ReadText(const std::string& hostPath);

  private:
    std::string prefix_;
    std::vector<std::string> mounts_;
};

namespace backup {
// A command's answer in a failed expectation: "done", or the refusal's key.
inline void PrintTo(const CommandResult& r, std::ostream* os) {
    *os << (r.done() ? std::string("done") : "refused " + r.key());
}
}  // namespace backup
