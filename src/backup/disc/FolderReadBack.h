#pragma once
// A disc written from a folder that is no backup image (an encrypted medium: its archives, its
// README and the viewer) is read back against the folder itself: the same files, each with the
// same SHA-256.
#include <string>

#include "ports/CDVDWriterPro2.h"

namespace backup {

class FolderReadBack : public IWrittenDiscCheck {
  public:
    // hostFolder: the folder written; it must stay as it is until the check has run.
    explicit FolderReadBack(std::string hostFolder) : folder_(std::move(hostFolder)) {}
    std::string Check(integrity::ImageFiles& disc,
                      const std::function<void(long long, long long)>& progress) override;

  private:
    std::string folder_;
};

}  // namespace backup
