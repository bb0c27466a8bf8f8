#pragma once
// What the schedule needs of the disc writer: the figures of the disc in the writer drive.

// Media type code of "no disc".
constexpr long kNoDisc = 254;
// Rewritable media (the Erase button is offered).
inline bool IsRewritableMedia(long type) {
    return type == 1 || type == 3 || type == 9 || type == 253;
}

class IDiscSpace {
  public:
    virtual ~IDiscSpace() = default;
    virtual double GetDiscCapacityMB() = 0;
    virtual double GetDiscFreeMB() = 0;
    virtual double GetDiscUsedMB() = 0;
    virtual long GetDiscMediaType() = 0;
};
