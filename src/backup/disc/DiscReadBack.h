#pragma once
// A disc written from the disc image folder is read back and checked against the manifest the
// pass made, before the operator is told that the backup has been completed.
#include <memory>
#include <string>

#include "ports/CDVDWriterPro2.h"

class DiscReadBack : public IWrittenDiscCheck {
  public:
    // manifest: the bytes of the image's SHA256SUMS as the pass wrote it.
    explicit DiscReadBack(std::string manifest) : manifest_(std::move(manifest)) {}
    std::string Check(integrity::ImageFiles& disc,
                      const std::function<void(long long, long long)>& progress) override;

  private:
    std::string manifest_;
};

// The check for the image in the disc image folder; null when the image has no manifest (the
// pass was made without one).
std::shared_ptr<IWrittenDiscCheck> MakeDiscReadBack();
