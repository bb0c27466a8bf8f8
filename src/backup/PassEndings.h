#pragma once
// What the backup worker tells its front end's thread when a pass is over: a local pass once it
// has built its image, a remote run once its last step has run. The worker knows nothing else
// of the front end.
#include "backup/RemoteStep.h"

namespace backup {

class IPassEndings {
  public:
    virtual ~IPassEndings() = default;
    virtual void LocalPassEnded() = 0;
    virtual void RemoteRunEnded(const RemoteStep& step) = 0;
};

}  // namespace backup
