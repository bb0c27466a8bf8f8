#pragma once
// A proxy between a recorder and its client that zeroes the bytes of every file it passes, as a
// faulty or hostile network would; everything else passes as it is.
#include "LoopbackProxy.h"

class CorruptingProxy : public FaultProxy {
  public:
    explicit CorruptingProxy(int targetPort) : FaultProxy(targetPort, {-1, true}) {}
};
