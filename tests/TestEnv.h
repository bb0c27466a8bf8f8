#pragma once
// Every test that touches files runs in its own temporary machine prefix, with C: mapped below
// it, so that no test sees the user's files.
#include <gtest/gtest.h>

#include <string>

class TempPrefixTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Host path of the temporary prefix and of drive C:.
    const std::string& prefix() const { return prefix_; }
    std::string driveC() const { return prefix_ + "/drive_c"; }
    // Maps another drive letter onto a fresh host folder below the prefix; returns that folder.
    std::string MapDrive(char letter, const std::string& type = "fixed");
    // Writes text into a host file, creating its folders.
    static void WriteText(const std::string& hostPath, const std::string& text);
    static std::string ReadText(const std::string& hostPath);

  private:
    std::string prefix_;
};
